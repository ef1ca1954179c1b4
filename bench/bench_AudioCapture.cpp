// Capture costs of the recorder.
//   1. CPU time of capture, conversion and level for one minute of 48 kHz
//      stereo input (synthetic buffers through the recorder's tap).
//   2. Resident memory growth over a 10-minute recording (synthetic buffers,
//      delivered faster than real time).
//   3. With a sound server: CPU time of one minute of real capture from a
//      48 kHz stereo source (20 s measured), and the time from start() to the
//      first captured buffer on the virtual microphone (10 starts).
// Run inside the desktop session for the real capture:
//   scripts/desktop-session build/bench/bench_AudioCapture
#include "Timings.h"
#include "audio/AudioRecorder.h"
#include "platform/linux/pulse/PulseCapture.h"
#include "store/Config.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU time of the capture thread ("sayri.audio").
double captureThreadSeconds()
{
    double total = 0;
    for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(task));
        if (!name.open(QIODevice::ReadOnly) || name.readAll().trimmed() != "sayri.audio"
            || !stat.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
        total += (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
    }
    return total;
}

double rssMB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() * 1024 / 1e6;
    return -1;
}

// A stand-in input for the benchmark: an engine whose tap the benchmark feeds
// itself, and a clock that lets the start see its first buffer at once.
struct BenchEngine : CaptureEngine {
    QAudioFormat format;
    Tap tap;
    QAudioFormat inputFormat() override { return format; }
    std::optional<QString> installTap(const QAudioFormat&, Tap t) override
    {
        tap = std::move(t);
        return std::nullopt;
    }
    CaptureStart start() override { return {}; }
    void watchLoss(Lost) override {}
    void removeTap() override { tap = nullptr; }
    void stop() override { tap = nullptr; }
};

struct BenchBackend : CaptureBackend {
    QAudioFormat format;
    BenchEngine* engine = nullptr;
    QAudioBuffer first;  // what the start sees
    std::optional<AudioInputDevice> find(const QString&) override { return std::nullopt; }
    std::unique_ptr<CaptureEngine> makeEngine(const QString&, QString*) override
    {
        auto e = std::make_unique<BenchEngine>();
        e->format = format;
        engine = e.get();
        return e;
    }
    void setDeadline(std::optional<double>) override {}
    double now() override { return 0; }
    void sleep(double) override
    {
        if (engine && engine->tap)
            engine->tap(first);
    }
};

// 48 kHz stereo float speech-like sound in buffers of `ms` milliseconds.
QAudioBuffer block(const QAudioFormat& format, int index, int ms)
{
    const int frames = format.sampleRate() * ms / 1000;
    QByteArray bytes(format.bytesForFrames(frames), Qt::Uninitialized);
    auto* s = reinterpret_cast<float*>(bytes.data());
    for (int i = 0; i < frames; ++i) {
        const double t = double(index * frames + i) / format.sampleRate();
        s[2 * i] = s[2 * i + 1] = float(0.3 * std::sin(2 * M_PI * 220 * t) * std::sin(2 * M_PI * 3 * t));
    }
    return QAudioBuffer(bytes, format);
}

// Feeds `seconds` of input in `ms` buffers through the recorder's tap on a
// separate thread (as the audio thread would) while the main thread takes the
// levels. The feed waits for the main thread every 40 buffers, so the levels
// never pile up, as in a real recording.
void feed(BenchBackend& backend, AudioRecorder& recorder, double seconds, int ms, QCoreApplication& app)
{
    recorder.onLevel = [](float) {};
    backend.first = block(backend.format, 0, ms);
    recorder.start();
    std::vector<QAudioBuffer> blocks;
    for (int i = 0; i < 20; ++i)
        blocks.push_back(block(backend.format, i, ms));
    std::atomic<bool> done{false};
    std::atomic<long> mainTurns{0};
    std::thread audio([&] {
        const long n = long(seconds * 1000 / ms);
        for (long i = 0; i < n; ++i) {
            if (i % 40 == 0) {
                const long seen = mainTurns;
                while (mainTurns < seen + 2)
                    std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
            backend.engine->tap(blocks[size_t(i % 20)]);
        }
        done = true;
    });
    while (!done) {
        app.processEvents();
        ++mainTurns;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    audio.join();
    app.processEvents();
}

// Runs the main event loop for `ms` without spinning.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    Config::bootstrap();

    QAudioFormat floats;
    floats.setSampleRate(48000);
    floats.setChannelCount(2);
    floats.setSampleFormat(QAudioFormat::Float);

    for (const int ms : {50, 10}) {
        auto backend = std::make_unique<BenchBackend>();
        BenchBackend& b = *backend;
        b.format = floats;
        AudioRecorder recorder(std::move(backend));
        const double cpu0 = cpuSeconds();
        feed(b, recorder, 60, ms, app);
        const double cpu = cpuSeconds() - cpu0;
        const QByteArray wav = recorder.stopAndCollectWav();
        std::printf("1 min of 48 kHz stereo in %d ms buffers through tap, conversion and level: %.0f ms CPU (goal < "
                    "300 ms); %.1f s of samples\n",
                    ms, cpu * 1000, double(wav.size() - 44) / 32000);
    }
    {
        auto backend = std::make_unique<BenchBackend>();
        BenchBackend& b = *backend;
        b.format = floats;
        AudioRecorder recorder(std::move(backend));
        const double before = rssMB();
        feed(b, recorder, 600.6, 50, app);  // the limit, plus the collect delay
        const double after = rssMB();
        const QByteArray wav = recorder.stopAndCollectWav();
        std::printf("10 min recording: resident memory grew %.1f MB (goal < 25 MB; samples %.1f MB); with the "
                    "collected WAV %.1f MB\n",
                    after - before, double(wav.size() - 44) / 1e6, rssMB() - before);
    }

    QProcess info;
    info.start(QStringLiteral("pactl"), {QStringLiteral("info")});
    if (!info.waitForFinished() || info.exitStatus() != QProcess::NormalExit || info.exitCode() != 0) {
        std::printf("no sound server: real capture not measured (run inside scripts/desktop-session)\n");
        return 0;
    }
    {
        QProcess load;
        // A source of its own (the virtual microphone's monitor runs at 10 ms
        // fragments for the session's other readers).
        load.start(QStringLiteral("pactl"), {QStringLiteral("load-module"), QStringLiteral("module-null-source"),
                                             QStringLiteral("source_name=bench48"), QStringLiteral("rate=48000"),
                                             QStringLiteral("channels=2"), QStringLiteral("format=float32le")});
        load.waitForFinished();
        const QString module = QString::fromUtf8(load.readAllStandardOutput()).trimmed();
        Config::edit([](ConfigData& c) { c.micDeviceUID = QStringLiteral("bench48"); });
        AudioRecorder recorder(std::make_unique<PulseCaptureBackend>());
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 3000) {  // the device list learns of the new source
            try {
                recorder.start();
                break;
            } catch (const RecError&) {
            }
        }
        recorder.onLevel = [](float) {};
        std::atomic<long> buffers{0};
        recorder.onRawBuffer = [&buffers](const QAudioBuffer&) { ++buffers; };
        const double cpu0 = cpuSeconds();
        const double thread0 = captureThreadSeconds();
        runFor(20000);
        const double cpu = cpuSeconds() - cpu0;
        const double thread = captureThreadSeconds() - thread0;
        const QByteArray wav = recorder.stopAndCollectWav();
        std::printf(
            "real capture from a 48 kHz stereo source: %.0f ms CPU per minute, %.0f ms of it on the capture thread "
            "(20 s measured, %.1f s recorded, %.0f buffers/s%s)\n",
            cpu * 3000, thread * 3000, double(wav.size() - 44) / 32000, double(buffers) / 20,
            recorder.fellBackToDefault() ? ", FELL BACK" : "");
        QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module});
    }
    {
        Config::edit([](ConfigData& c) { c.micDeviceUID = QStringLiteral("vmic"); });
        AudioRecorder recorder(std::make_unique<PulseCaptureBackend>());
        std::atomic<qint64> firstNs{-1};
        QElapsedTimer clock;
        recorder.onRawBuffer = [&](const QAudioBuffer&) {
            qint64 none = -1;
            firstNs.compare_exchange_strong(none, clock.nsecsElapsed());
        };
        std::vector<double> first, whole;
        for (int i = 0; i < 10; ++i) {
            firstNs = -1;
            clock.start();
            try {
                recorder.start();
            } catch (const RecError&) {
                continue;
            }
            whole.push_back(double(clock.nsecsElapsed()) / 1e6);
            first.push_back(double(firstNs.load()) / 1e6);
            recorder.cancel();
            runFor(100);
        }
        const Timings firstT(first), wholeT(whole);
        if (!first.empty())
            std::printf("start() to first captured buffer on vmic: median %.0f ms (min %.0f, max %.0f); start() "
                        "returns after median %.0f ms (max %.0f); %zu of 10 starts\n",
                        firstT.median, firstT.min, firstT.max, wholeT.median, wholeT.max, first.size());
    }
    return 0;
}
