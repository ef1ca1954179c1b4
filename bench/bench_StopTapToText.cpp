// Stop tap to text with the real whisper-server, on a model of the release
// model's size class, against the plain server's whole-window time.
//
//   bench_StopTapToText --model BIG.bin --preview-model BASE.bin --speech SPEECH.wav
//                       [--plain PLAIN_SERVER] [--server SERVER] [--runs N] [--seconds 3,10,25]
//
// SERVER is the whisper-server scripts/setup built (build/src/whisper-server by
// default); PLAIN_SERVER one built with whisper.cpp's defaults. SPEECH is 16 kHz
// mono 16-bit speech, repeated or cut to each length. For each length, the
// median of N runs (default 3) after one warm-up:
//   plain      PLAIN_SERVER with its default flags, the whole 30 s window: the
//              time of the request alone (the reference)
//   whole      SERVER with Sayri's threads and device, the whole window
//   sized      SERVER as Sayri asks it: the window sized to the recording
//   tap        stop tap to text: the preview stopped as the stop tap stops it,
//              the controller's 0.3 s for the last audio, then Sayri's request
//   tap+prev   the same after the recording was previewed while "spoken" (fed
//              in real time to the live preview and its own server)
// Never a test: the models are made by hand (docs/performance.md).

#include "TestDataFolder.h"
#include "Timings.h"
#include "WhisperStandIn.h"
#include "app/AppTiming.h"
#include "audio/AudioRecorder.h"
#include "platform/linux/system/LinuxComputeDevices.h"
#include "platform/linux/system/LinuxProcesses.h"
#include "preview/LivePreview.h"
#include "preview/PreviewModel.h"
#include "recognition/HTTP.h"
#include "recognition/Inference.h"
#include "recognition/ServerCompute.h"
#include "recognition/WhisperServer.h"
#include "store/Config.h"
#include "support/SerialQueue.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QThread>

#include <cstdio>
#include <future>

namespace {

struct Options {
    QString plain, server = QStringLiteral(SAYRI_BIN_DIR "/src/whisper-server"), model, previewModel, speech;
    int runs = 3;
    QList<double> seconds{3, 10, 25};
};

std::optional<Options> parse(const QStringList& args)
{
    Options o;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString& name = args[i];
        const QString& value = args[i + 1];
        if (name == u"--plain")
            o.plain = value;
        else if (name == u"--server")
            o.server = value;
        else if (name == u"--model")
            o.model = value;
        else if (name == u"--preview-model")
            o.previewModel = value;
        else if (name == u"--speech")
            o.speech = value;
        else if (name == u"--runs")
            o.runs = value.toInt();
        else if (name == u"--seconds") {
            o.seconds.clear();
            for (const QString& s : value.split(u','))
                o.seconds << s.toDouble();
        } else
            return std::nullopt;
    }
    if (o.model.isEmpty() || o.previewModel.isEmpty() || o.speech.isEmpty() || o.runs < 1)
        return std::nullopt;
    return o;
}

// `seconds` of the speech's samples, repeated as needed.
QByteArray speechOf(const QByteArray& pcm, double seconds)
{
    const qsizetype bytes = qsizetype(seconds * 16000) * 2;
    QByteArray out;
    while (out.size() < bytes)
        out += pcm;
    return out.left(bytes);
}

QAudioBuffer buffer(const QByteArray& pcm)
{
    QAudioFormat format;
    format.setSampleRate(16000);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    return QAudioBuffer(pcm, format);
}

// Runs `work` on the pipeline and turns the event loop until it is done.
template <class Work> auto onPipeline(SerialQueue& pipeline, Work work)
{
    std::packaged_task<decltype(work())()> task(std::move(work));
    auto result = task.get_future();
    pipeline.async([&task] { task(); });
    while (result.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return result.get();
}

void turnEventsFor(double seconds)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < seconds * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

double secondsSince(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

// The time of one whole-window request, as Sayri asked before its window was sized.
double wholeWindow(WhisperServer& server, const QByteArray& wav)
{
    const QByteArray boundary = Inference::newBoundary();
    HTTP::Request r;
    r.url = QUrl(server.baseUrl() + QStringLiteral("/inference"));
    r.method = "POST";
    r.headers = {{"Content-Type", "multipart/form-data; boundary=" + boundary}};
    r.body = Inference::formBody(wav, QString(), boundary);
    r.timeout = Inference::timeLimit(wav.size());
    QElapsedTimer t;
    t.start();
    const HTTP::Response reply = HTTP::request(r);
    if (reply.status != 200)
        std::printf("  (a whole-window request failed: HTTP %d)\n", reply.status);
    return secondsSince(t);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::optional<Options> options = parse(app.arguments());
    if (!options) {
        std::fputs("usage: bench_StopTapToText --model BIG.bin --preview-model BASE.bin --speech SPEECH.wav\n"
                   "       [--plain PLAIN_SERVER] [--server SERVER] [--runs N] [--seconds 3,10,25]\n",
                   stderr);
        return 2;
    }
    const Options& o = *options;
    TestDataFolder data;
    Config::bootstrap();
    QDir().mkpath(ModelSetup::modelsDir());
    QFile::link(QFileInfo(o.previewModel).absoluteFilePath(), PreviewModel::path());
    QFile speechFile(o.speech);
    if (!speechFile.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(o.speech));
        return 1;
    }
    const QByteArray pcm = speechFile.readAll().mid(44);
    const auto configure = [&](const QString& program) {
        Config::edit([&](ConfigData& c) {
            c.whisperBinary = program;
            c.whisperModelPath = QFileInfo(o.model).absoluteFilePath();
            c.whisperPort = WhisperStandIn::freePort();
        });
    };

    LinuxProcesses processes;
    SerialQueue pipeline(QStringLiteral("sayri.pipeline"));
    auto compute = std::make_shared<ServerCompute>(
        std::make_shared<LinuxComputeDevices>(QStringLiteral(SAYRI_APP_PATH)));
    std::printf("machine: %d cores; servers: %s\n", QThread::idealThreadCount(),
                qPrintable(onPipeline(pipeline, [&] { return compute->plan().description(); })));

    QMap<QString, QMap<double, double>> medians;  // row -> seconds of speech -> median
    const auto measure = [&](const QString& row, double seconds, const std::function<double()>& once) {
        once();  // warm-up
        std::vector<double> runs;
        for (int i = 0; i < o.runs; ++i)
            runs.push_back(once());
        const Timings t(runs);
        medians[row][seconds] = t.median;
        std::printf("%-9s %4.0f s of speech: median %6.2f s (min %.2f, max %.2f)\n", qPrintable(row), seconds,
                    t.median, t.min, t.max);
    };

    if (!o.plain.isEmpty()) {
        configure(o.plain);
        WhisperServer plain(processes);  // the program's own flags
        if (!onPipeline(pipeline, [&] { return plain.ensureAnswering(); }))
            return std::fprintf(stderr, "the plain server did not come up\n"), 1;
        for (double s : o.seconds) {
            const QByteArray wav = AudioRecorder::wav(speechOf(pcm, s), 16000, 1);
            measure(QStringLiteral("plain"), s, [&] { return onPipeline(pipeline, [&] { return wholeWindow(plain, wav); }); });
        }
        plain.stop();
    }

    configure(o.server);
    WhisperServer server(processes, {}, WhisperServer::mainRole(), compute);
    auto previewServer =
        std::make_shared<WhisperServer>(processes, std::function<QStringList()>(), LivePreview::serverRole(), compute);
    LivePreview preview(previewServer);
    int shown = 0;
    preview.onPartial = [&shown](const QString&) { ++shown; };
    if (!onPipeline(pipeline, [&] { return server.ensureAnswering(); }))
        return std::fprintf(stderr, "the server did not come up\n"), 1;
    const double collect = AppTiming().collectDelay;

    for (double s : o.seconds) {
        const QByteArray speech = speechOf(pcm, s);
        const QByteArray wav = AudioRecorder::wav(speech, 16000, 1);
        measure(QStringLiteral("whole"), s, [&] { return onPipeline(pipeline, [&] { return wholeWindow(server, wav); }); });
        measure(QStringLiteral("sized"), s, [&] {
            QElapsedTimer t;
            t.start();
            onPipeline(pipeline, [&] { return server.transcribe(wav); });
            return secondsSince(t);
        });
        // The stop tap: the preview stops, the last audio is collected, the
        // recording goes to the server.
        const auto stopTap = [&] {
            QElapsedTimer t;
            t.start();
            preview.stopForFinalText();
            turnEventsFor(collect);
            onPipeline(pipeline, [&] { return server.transcribe(wav); });
            const double took = secondsSince(t);
            preview.resumeServer();
            return took;
        };
        measure(QStringLiteral("tap"), s, stopTap);
        int previewed = 0;
        measure(QStringLiteral("tap+prev"), s, [&] {
            // The user speaks: the audio reaches the preview in real time.
            shown = 0;
            preview.起動する(QString());
            QElapsedTimer spoken;
            spoken.start();
            for (qsizetype at = 0; at < speech.size(); at += 3200) {  // 100 ms buffers
                while (spoken.elapsed() < at / 32)
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                LivePreview::feed(buffer(speech.mid(at, 3200)));
            }
            previewed = shown;
            return stopTap();
        });
        std::printf("          (grey texts shown in the last recording: %d)\n", previewed);
    }
    preview.stop();
    previewServer->stop();
    server.stop();

    std::printf("\n| speech | plain, whole window | setup's build, whole | sized window | stop tap to text | "
                "with preview | tap ÷ plain | preview ÷ tap |\n|---|---|---|---|---|---|---|---|\n");
    for (double s : o.seconds) {
        const auto cell = [&](const char* row) {
            const double v = medians.value(QString::fromLatin1(row)).value(s, 0);
            return v > 0 ? QStringLiteral("%1 s").arg(v, 0, 'f', 2) : QStringLiteral("–");
        };
        const double plain = medians.value(QStringLiteral("plain")).value(s, 0);
        const double tap = medians.value(QStringLiteral("tap")).value(s, 0);
        const double withPreview = medians.value(QStringLiteral("tap+prev")).value(s, 0);
        std::printf("| %.0f s | %s | %s | %s | %s | %s | %s | %.2f |\n", s, qPrintable(cell("plain")),
                    qPrintable(cell("whole")), qPrintable(cell("sized")), qPrintable(cell("tap")),
                    qPrintable(cell("tap+prev")),
                    plain > 0 ? qPrintable(QStringLiteral("%1").arg(tap / plain, 0, 'f', 2)) : "–",
                    tap > 0 ? withPreview / tap : 0.0);
    }
    return 0;
}
