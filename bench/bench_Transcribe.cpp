// Time Sayri itself spends in a transcription and in a health check, with the
// whisper-server stand-in answering at once (no recording of requests).
//
//   bench_Transcribe
//
// "server" is the stand-in's own time from a request's last byte to its reply;
// "receive" is the upload as the stand-in saw it (first to last byte).

#include "Timings.h"
#include "audio/AudioRecorder.h"
#include "platform/linux/system/LinuxProcesses.h"
#include "recognition/HTTP.h"
#include "recognition/WhisperServer.h"
#include "store/Config.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

double percentile95(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, v.size() * 95 / 100)];
}

// "received in X ms, handled in Y ms" of every /inference line, in order.
std::vector<std::pair<double, double>> serverTimes(const QString& log)
{
    QFile f(log);
    f.open(QIODevice::ReadOnly);
    const QRegularExpression line(
        QStringLiteral(R"(POST /inference \d+ bytes, received in ([\d.]+) ms, handled in ([\d.]+) ms)"));
    std::vector<std::pair<double, double>> times;
    for (const QString& l : QString::fromUtf8(f.readAll()).split(u'\n')) {
        const auto m = line.match(l);
        if (m.hasMatch())
            times.emplace_back(m.captured(1).toDouble(), m.captured(2).toDouble());
    }
    return times;
}

void transcribeRuns(WhisperServer& server, const char* label, double seconds, int runs, const QString& log)
{
    const QByteArray wav = AudioRecorder::wav(QByteArray(qsizetype(seconds * 32000), '\x11'), 16000, 1);
    for (int i = 0; i < 3; ++i)  // warm-up
        server.transcribe(wav);
    const size_t before = serverTimes(log).size();
    std::vector<double> totals;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        if (!server.transcribe(wav))
            std::printf("  transcription failed\n");
        totals.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    const auto times = serverTimes(log);
    std::vector<double> beyondServer, beyondUpload, receive, handled;
    for (int i = 0; i < runs && before + i < times.size(); ++i) {
        const auto [rx, srv] = times[before + i];
        receive.push_back(rx);
        handled.push_back(srv);
        beyondServer.push_back(totals[i] - srv);
        beyondUpload.push_back(totals[i] - srv - rx);
    }
    std::printf("%s (%d bytes, %d runs), medians in ms:\n", label, int(wav.size()), runs);
    std::printf("  transcribe total %.2f | server %.2f | receive %.2f\n", Timings(totals).median,
                Timings(handled).median, Timings(receive).median);
    std::printf("  beyond the server's time %.2f (p95 %.2f) | beyond server and upload %.2f\n",
                Timings(beyondServer).median, percentile95(beyondServer), Timings(beyondUpload).median);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("HOME", dir.path().toUtf8());
    qputenv("XDG_DATA_HOME", (dir.path() + QStringLiteral("/share")).toUtf8());
    qunsetenv("SAYRI_STANDIN_RECORD_DIR");
    qunsetenv("SAYRI_STANDIN_SCRIPT");
    QDir().mkpath(Config::dataFolder());

    const QString binary = dir.path() + QStringLiteral("/whisper-server");
    QFile::link(QStringLiteral(SAYRI_BIN_DIR "/tests/support/whisper-standin/whisper-standin"), binary);
    QFile model(dir.path() + QStringLiteral("/model.bin"));
    model.open(QIODevice::WriteOnly);
    model.write("model");
    model.close();
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    Config::edit([&](ConfigData& c) {
        c.whisperBinary = binary;
        c.whisperModelPath = model.fileName();
        c.whisperPort = port;
    });

    // Everything runs on one worker thread without an event loop, like the
    // pipeline queue.
    std::thread pipeline([&] {
        LinuxProcesses processes;
        WhisperServer server(processes);
        server.start({});
        if (!server.waitHealthy(20)) {
            std::printf("the stand-in did not come up\n");
            return;
        }
        const QString log = Config::file(QStringLiteral("whisper-server.log"));
        transcribeRuns(server, "10 s recording", 10, 50, log);
        transcribeRuns(server, "10 min recording", 600, 10, log);

        const QString health = QStringLiteral("http://127.0.0.1:%1/").arg(port);
        std::vector<double> checks;
        for (int i = 0; i < 520; ++i) {
            QElapsedTimer t;
            t.start();
            HTTP::statusCode(health, 1.5);
            if (i >= 20)
                checks.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        std::printf("health check (500 runs): median %.3f ms, p95 %.3f ms\n", Timings(checks).median,
                    percentile95(checks));
        server.stop();
    });
    pipeline.join();
    return 0;
}
