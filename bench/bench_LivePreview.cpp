// Live preview figures: how soon audio shows as grey text, and what previewing
// costs while the user speaks.
//
//   bench_LivePreview [SECONDS]
//
// With the whisper-server stand-in answering at once (default): the time from
// half a second of audio arriving to its volatile text, over 20 fresh runs on
// the warm server. Then SECONDS (default 60) of speech (espeak-ng, with a
// second of silence between sentences) fed in real time in 20 ms buffers, as
// the microphone delivers them: Sayri's own CPU, its resident memory at the
// start and the end, the preview server's CPU and how many texts were shown.
// SAYRI_BENCH_WHISPER=PROGRAM SAYRI_BENCH_MODEL=MODEL run the real server
// with that model instead of the stand-in.

#include "TestDataFolder.h"
#include "Timings.h"
#include "WhisperStandIn.h"
#include "platform/linux/system/LinuxProcesses.h"
#include "preview/LivePreview.h"
#include "preview/PreviewModel.h"
#include "store/Config.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>
#include <QtEndian>

#include <cstdio>
#include <unistd.h>

namespace {

// CPU seconds (user + system) of a process, from /proc.
double cpuSeconds(const QString& pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray text = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK)) : 0;
}

double residentMB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    f.open(QIODevice::ReadOnly);
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    return 0;
}

QAudioBuffer buffer(const QByteArray& pcm, int rate)
{
    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    return QAudioBuffer(pcm, format);
}

// espeak-ng's speech with a second of silence after it, and its rate.
std::pair<QByteArray, int> speech(const QString& folder)
{
    const QString wav = folder + QStringLiteral("/speech.wav");
    QProcess::execute(QStringLiteral("espeak-ng"),
                      {QStringLiteral("-v"), QStringLiteral("ja"), QStringLiteral("-w"), wav,
                       QStringLiteral("今日は晴れです。明日も晴れるでしょう。週末は雨が降るかもしれません。")});
    QFile f(wav);
    f.open(QIODevice::ReadOnly);
    const QByteArray bytes = f.readAll();
    const int rate = qFromLittleEndian<qint32>(bytes.constData() + 24);
    return {bytes.mid(44) + QByteArray(rate * 2, '\0'), rate};
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
    TestDataFolder data;
    WhisperStandIn standIn;
    standIn.configure(WhisperStandIn::freePort());
    standIn.setReplies(QJsonArray{QJsonObject{{QStringLiteral("text"), QStringLiteral("今日は晴れです")}}});
    const QString realProgram = qEnvironmentVariable("SAYRI_BENCH_WHISPER");
    QDir().mkpath(ModelSetup::modelsDir());
    QFile::link(realProgram.isEmpty() ? standIn.model() : qEnvironmentVariable("SAYRI_BENCH_MODEL"),
                PreviewModel::path());
    if (!realProgram.isEmpty())
        Config::edit([&](ConfigData& c) { c.whisperBinary = realProgram; });

    static LinuxProcesses processes;
    auto server = std::make_shared<WhisperServer>(processes, std::function<QStringList()>(), LivePreview::serverRole());
    LivePreview preview(server);
    QElapsedTimer clock;
    clock.start();
    int shown = 0;
    double lastShown = 0;
    preview.onPartial = [&](const QString& text) {
        ++shown;
        lastShown = clock.nsecsElapsed() / 1e6;
        if (!realProgram.isEmpty())
            std::printf("%8.0f ms  %s\n", lastShown, qPrintable(text));
    };
    const auto [pcm, rate] = speech(data.path());

    // Latency: more than half a second at once, fresh runs on the warm server.
    std::vector<double> latencies;
    const QByteArray half = pcm.left(rate * 6 / 5);  // 0.6 s: the resampler holds a little back
    for (int run = 0; run < (realProgram.isEmpty() ? 21 : 0); ++run) {
        preview.起動する(QString());
        const int before = shown;
        const double fed = clock.nsecsElapsed() / 1e6;
        LivePreview::feed(buffer(half, rate));
        while (shown == before && clock.elapsed() < fed + 20000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (run > 0)  // the first starts the server
            latencies.push_back(lastShown - fed);
        preview.stop();
    }
    const Timings t(latencies);
    if (!latencies.empty())
        std::printf("audio to volatile text (stand-in): median %.1f ms, min %.1f, max %.1f (%zu runs)\n", t.median,
                    t.min, t.max, latencies.size());

    // Speaking in real time.
    preview.起動する(QString());
    const qsizetype chunk = rate / 50 * 2;
    qsizetype at = 0;
    QTimer feeder;
    feeder.setTimerType(Qt::PreciseTimer);
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        LivePreview::feed(buffer(pcm.mid(at, chunk), rate));
        at = (at + chunk) % (pcm.size() - chunk);
    });
    const QString self = QString::number(QCoreApplication::applicationPid());
    const double startMB = residentMB();
    const int shownBefore = shown;
    double selfStart = cpuSeconds(self), serverStart = -1, serverEnd = 0;
    const double wallStart = clock.elapsed() / 1000.0;
    feeder.start(20);
    QTimer::singleShot(int(seconds * 1000), [&] {
        serverEnd = cpuSeconds(QString::number(server->processId().value_or(0)));
        feeder.stop();
        preview.stop();
        const double wall = clock.elapsed() / 1000.0 - wallStart;
        std::printf("speaking %.0f s: %d texts shown; Sayri CPU %.2f %% of a core; preview server CPU %.2f cores;"
                    " resident memory %.1f MB -> %.1f MB\n",
                    wall, shown - shownBefore, (cpuSeconds(self) - selfStart) / wall * 100,
                    (serverEnd - serverStart) / wall, startMB, residentMB());
        QCoreApplication::quit();
    });
    serverStart = cpuSeconds(QString::number(server->processId().value_or(0)));
    return app.exec();
}
