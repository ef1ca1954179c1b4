// The recorder and the device list on the session's PulseAudio: speech played
// into the virtual microphone, a source that never delivers, a silent source
// through the controller, a configured device that is gone or unplugged, and
// the warm-up.
#include "Fakes.h"
#include "LogFile.h"
#include "TestDataFolder.h"

#include "app/AppState.h"
#include "audio/AudioDevices.h"
#include "audio/AudioRecorder.h"
#include "platform/linux/PulseCapture.h"
#include "platform/linux/QtAudioInputs.h"
#include "store/Config.h"
#include "store/Log.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QProcess>
#include <QRegularExpression>
#include <QtEndian>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <thread>

namespace {

QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// The number of capture streams PulseAudio has open on a source.
int streamsOn(const QString& source)
{
    QString index;
    for (const QString& line : run(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sources")}).split(u'\n'))
        if (line.section(u'\t', 1, 1) == source)
            index = line.section(u'\t', 0, 0);
    int n = 0;
    for (const QString& line : run(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("source-outputs")}).split(u'\n'))
        if (!index.isEmpty() && line.section(u'\t', 1, 1) == index)
            ++n;
    return n;
}

struct Pcm {
    int rate = 0;
    int channels = 0;
    QList<double> samples;  // first channel
};

// The PCM of a 16-bit WAV, chunk by chunk.
Pcm readWav(const QByteArray& wav)
{
    Pcm pcm;
    qsizetype at = 12;
    while (at + 8 <= wav.size()) {
        const QByteArray id = wav.mid(at, 4);
        const qsizetype size = qFromLittleEndian<quint32>(wav.constData() + at + 4);
        const char* body = wav.constData() + at + 8;
        if (id == "fmt ") {
            pcm.channels = qFromLittleEndian<quint16>(body + 2);
            pcm.rate = int(qFromLittleEndian<quint32>(body + 4));
        } else if (id == "data") {
            const qsizetype n = std::min(size, wav.size() - at - 8) / 2;
            for (qsizetype i = 0; i < n; i += pcm.channels)
                pcm.samples << qFromLittleEndian<qint16>(body + 2 * i);
        }
        at += 8 + size + (size & 1);
    }
    return pcm;
}

// RMS over 10 ms windows.
QList<double> envelope(const Pcm& pcm)
{
    QList<double> out;
    const int window = pcm.rate / 100;
    for (qsizetype start = 0; start + window <= pcm.samples.size(); start += window) {
        double sum = 0;
        for (int i = 0; i < window; ++i)
            sum += pcm.samples[start + i] * pcm.samples[start + i];
        out << std::sqrt(sum / window);
    }
    return out;
}

double correlation(const QList<double>& a, const QList<double>& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    double ma = 0, mb = 0;
    for (qsizetype i = 0; i < n; ++i) {
        ma += a[i];
        mb += b[i];
    }
    ma /= n;
    mb /= n;
    double ab = 0, aa = 0, bb = 0;
    for (qsizetype i = 0; i < n; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return ab / std::sqrt(aa * bb);
}

// The best correlation of `played` against `recorded` at any delay.
double bestCorrelation(const QList<double>& played, const QList<double>& recorded)
{
    double best = -1;
    for (qsizetype lag = 0; lag + played.size() <= recorded.size(); ++lag)
        best = std::max(best, correlation(played, recorded.mid(lag, played.size())));
    return best;
}

std::optional<RecError::Kind> startError(Recorder& recorder)
{
    try {
        recorder.start();
    } catch (const RecError& e) {
        return e.kind;
    }
    return std::nullopt;
}

void setMic(const QString& uid)
{
    Config::edit([&uid](ConfigData& c) { c.micDeviceUID = uid; });
}

// Writes silence into the pipe source in real time while it exists.
class PipeWriter {
public:
    PipeWriter()
    {
        fd_ = ::open(qgetenv("SAYRI_MIC_FIFO").constData(), O_WRONLY | O_NONBLOCK);
        thread_ = std::thread([this] {
            const QByteArray tenMs(320, '\0');
            while (!done_) {
                if (::write(fd_, tenMs.constData(), size_t(tenMs.size())) < 0) {}
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    ~PipeWriter()
    {
        done_ = true;
        thread_.join();
        ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }

private:
    int fd_ = -1;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

}  // namespace

class AudioCaptureTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data;
    QString pipeName;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariable("SAYRI_SESSION_DIR").isEmpty(), "run inside scripts/desktop-session");
        data = std::make_unique<TestDataFolder>();
        Config::bootstrap();
    }
    void init()
    {
        setMic(QString());
        QFile::remove(Config::file(QStringLiteral("sayri.log")));
    }

    void deviceList()
    {
        const QList<AudioInputDevice> inputs = AudioDevices::inputs();
        QStringList uids;
        for (const AudioInputDevice& d : inputs) {
            uids << d.uid;
            QVERIFY2(!d.uid.endsWith(QStringLiteral(".monitor")), qPrintable(d.uid));
        }
        QVERIFY(uids.contains(QStringLiteral("vmic")));
        QVERIFY(uids.contains(QStringLiteral("pipemic")));
        QCOMPARE(AudioDevices::find(QStringLiteral("vmic"))->name, QStringLiteral("VirtualMic"));
        QVERIFY(!AudioDevices::find(QStringLiteral("vsink.monitor")));
        QVERIFY(!AudioDevices::find(QString()));
        QCOMPARE(AudioDevices::defaultInput()->name, QStringLiteral("VirtualMic"));
        QCOMPARE(QtAudioInputs().inputs(), inputs);
        pipeName = AudioDevices::find(QStringLiteral("pipemic"))->name;

        // A device that comes and goes is seen at the next call.
        const QString module = run(QStringLiteral("pactl"), {QStringLiteral("load-module"), QStringLiteral("module-null-source"),
                                                             QStringLiteral("source_name=extra")});
        QTRY_VERIFY(AudioDevices::find(QStringLiteral("extra")));
        run(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module});
        QTRY_VERIFY(!AudioDevices::find(QStringLiteral("extra")));
    }

    void speechIsRecordedFaithfully()
    {
        const QString wavPath = data->root() + QStringLiteral("/speech.wav");
        QCOMPARE(QProcess::execute(QStringLiteral("espeak-ng"),
                                   {QStringLiteral("-v"), QStringLiteral("ja"), QStringLiteral("-w"), wavPath,
                                    QStringLiteral("きょうは いい てんき ですね。 おんせい にゅうりょく の しけん を しています。")}), 0);
        QFile played(wavPath);
        QVERIFY(played.open(QIODevice::ReadOnly));
        const Pcm speech = readWav(played.readAll());
        QVERIFY(speech.samples.size() > speech.rate);

        AudioRecorder recorder;
        QList<float> levels;
        std::atomic<int> rawOffMain{0};
        QThread* main = QThread::currentThread();
        recorder.onLevel = [&levels, main](float l) { QCOMPARE(QThread::currentThread(), main); levels << l; };
        recorder.onRawBuffer = [&rawOffMain, main](const QAudioBuffer&) { if (QThread::currentThread() != main) ++rawOffMain; };

        QVERIFY(!startError(recorder));
        QElapsedTimer recording;
        recording.start();
        QCOMPARE(QProcess::execute(QStringLiteral("paplay"), {QStringLiteral("--device=vsink"), wavPath}), 0);
        QTest::qWait(300);
        const double seconds = double(recording.nsecsElapsed()) / 1e9;
        const QByteArray wav = recorder.stopAndCollectWav();

        QCOMPARE(wav.left(4), QByteArray("RIFF"));
        const Pcm got = readWav(wav);
        QCOMPARE(got.rate, 16000);
        QCOMPARE(got.channels, 1);
        const double length = double(got.samples.size()) / 16000;
        QVERIFY2(std::abs(length - seconds) <= 0.1, qPrintable(QStringLiteral("%1 s recorded in %2 s").arg(length).arg(seconds)));
        const double r = bestCorrelation(envelope(speech), envelope(got));
        qInfo("recorded %.3f s in %.3f s; envelope correlation %.3f", length, seconds, r);
        QVERIFY2(r >= 0.9, qPrintable(QString::number(r)));
        QVERIFY(recorder.lastLoudness() >= 200);

        QTRY_VERIFY(!levels.isEmpty());
        QVERIFY(*std::max_element(levels.begin(), levels.end()) > 0.01f);
        QVERIFY(rawOffMain > 0);
        const QStringList log = logMessages();
        QVERIFY(log.contains(QStringLiteral("録音の形式が決まりました: 44100Hz/2ch")));
        const QString started = QStringLiteral("録音開始: %1・44100Hz 2ch").arg(Log::伏せた機器名(QStringLiteral("Macと同じ")));
        QVERIFY2(!log.filter(QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(started) + QStringLiteral("(（[234]回目で成功）)?$"))).isEmpty(),
                 qPrintable(log.join(u'\n')));
        QTRY_COMPARE(streamsOn(QStringLiteral("vmic")), 0);
    }

    void sourceThatNeverDeliversGivesUp()
    {
        setMic(QStringLiteral("pipemic"));
        AudioRecorder recorder;
        QCOMPARE(startError(recorder), RecError::formatChanged);
        QStringList expected;
        for (int n = 1; n <= 4; ++n)
            expected << QStringLiteral("音が流れてきません（%1・16000Hz）→ マイクを握ったまま組み立て直します（%2回目）")
                            .arg(Log::伏せた機器名(pipeName)).arg(n);
        expected << QStringLiteral("4回試しても音が流れませんでした（最後は16000Hz）→ 録音を中止します（アプリは落としません）");
        QCOMPARE(logMessages(), expected);
        QTRY_COMPARE(streamsOn(QStringLiteral("pipemic")), 0);
        QCOMPARE(recorder.stopAndCollectWav().size(), 44);
    }

    void warmUp()
    {
        AudioRecorder::warmUp(QStringLiteral("vmic"));
        const QRegularExpression ok(QStringLiteral("^マイクのならし運転OK: %1・44100Hz（\\d回目で音を確認）$")
                                        .arg(Log::伏せた機器名(QStringLiteral("VirtualMic"))));
        QCOMPARE(logMessages().filter(ok).size(), 1);

        // The pipe source stays silent: one line per try, then giving up.
        QFile::remove(Config::file(QStringLiteral("sayri.log")));
        AudioRecorder::warmUp(QStringLiteral("pipemic"));
        const QString mic = Log::伏せた機器名(pipeName);
        const QStringList log = logMessages();
        QVERIFY(log.size() >= 3);
        QCOMPARE(log.first(), QStringLiteral("ならし運転: まだ音が出ません（%1・16000Hz・1回目）").arg(mic));
        QCOMPARE(log.last(), QStringLiteral("マイクのならし運転: 3秒ねばりましたが音を確認できませんでした（%1）").arg(mic));
        QTRY_COMPARE(streamsOn(QStringLiteral("pipemic")), 0);

        // An unknown device: nothing happens, nothing is logged.
        QFile::remove(Config::file(QStringLiteral("sayri.log")));
        AudioRecorder::warmUp(QStringLiteral("no-such-mic"));
        QVERIFY(logMessages().isEmpty());
    }

    void silentRecordingTakesTheControllersSilencePath()
    {
        PipeWriter writer;
        QVERIFY(writer.ok());
        setMic(QStringLiteral("pipemic"));
        auto fakes = std::make_unique<FakeServices>();
        AppServices services = fakes->take();
        services.recorder = std::make_unique<AudioRecorder>();
        services.audioInputs = std::make_unique<QtAudioInputs>();
        fakes->recorder = nullptr;
        fakes->audioInputs = nullptr;
        AppTiming timing;
        timing.collectDelay = 0.05;
        AppState app(std::move(services), timing);
        app.startUp();

        app.startRecording();
        QCOMPARE(app.phase(), Phase::recording);
        QCOMPARE(fakes->overlay->events.last(), QStringLiteral("bar:アプリ|") + pipeName);
        QTest::qWait(600);
        app.stopAndProcess();
        QTRY_COMPARE(app.phase(), Phase::idle);
        QVERIFY(fakes->overlay->events.contains(QStringLiteral("flash:何も聞こえませんでした@2")));
        QVERIFY(logContains(QStringLiteral("何も聞こえませんでした（音の大きさ 0・200未満は無音とみなす）→ 認識にかけません")));
        QVERIFY(!fakes->server->seen().join(u' ').contains(QStringLiteral("transcribe")));
        QVERIFY(!fakes->overlay->levels.isEmpty());
    }

    void goneOrUnpluggedDevice()
    {
        // A configured device that is gone: the default input instead.
        setMic(QStringLiteral("gone-mic"));
        {
            AudioRecorder recorder;
            QVERIFY(!startError(recorder));
            QVERIFY(recorder.fellBackToDefault());
            QCOMPARE(logMessages().first(), QStringLiteral("選んだマイクが見つからない（%1）→ Macと同じマイクで録音")
                                                .arg(Log::伏せた機器名(QStringLiteral("gone-mic"))));
            recorder.cancel();
        }

        // A device unplugged in the middle of a recording: the recording ends
        // with what was captured.
        const QString module = run(QStringLiteral("pactl"), {QStringLiteral("load-module"), QStringLiteral("module-remap-source"),
                                                             QStringLiteral("master=vsink.monitor"), QStringLiteral("source_name=tmpmic")});
        QTRY_VERIFY(AudioDevices::find(QStringLiteral("tmpmic")));
        setMic(QStringLiteral("tmpmic"));
        AudioRecorder recorder;
        QVERIFY(!startError(recorder));
        QVERIFY(!recorder.fellBackToDefault());
        QTest::qWait(500);
        run(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module});
        QTRY_VERIFY(!AudioDevices::find(QStringLiteral("tmpmic")));
        QTest::qWait(300);
        QElapsedTimer stopping;
        stopping.start();
        const QByteArray wav = recorder.stopAndCollectWav();
        QVERIFY(stopping.elapsed() < 3000);
        QVERIFY2(wav.size() - 44 >= 32000 * 4 / 10, qPrintable(QString::number(wav.size())));
        // And the next recording works.
        setMic(QString());
        QVERIFY(!startError(recorder));
        recorder.cancel();
    }

    void deviceThatVanishesBeforeOpening()
    {
        // An engine made while the source existed, started after it is gone:
        // the start is refused at once (the recorder tries again).
        const QString module = run(QStringLiteral("pactl"), {QStringLiteral("load-module"), QStringLiteral("module-null-source"),
                                                             QStringLiteral("source_name=brief")});
        PulseCaptureBackend backend;
        std::unique_ptr<CaptureEngine> engine;
        QTRY_VERIFY((engine = backend.makeEngine(QStringLiteral("brief"))) != nullptr);
        run(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module});
        QVERIFY(!backend.makeEngine(QStringLiteral("brief")));
        QVERIFY(!engine->installTap(engine->inputFormat(), [](const QAudioBuffer&) {}));
        QElapsedTimer opening;
        opening.start();
        const CaptureStart started = engine->start();
        QVERIFY(opening.elapsed() < 3000);
        QCOMPARE(started.outcome, CaptureStart::refused);
        engine->stop();

        // A second stream on a running source that delivers nothing opens
        // as readily as the first (the held engine of the start sequence).
        for (int i = 0; i < 2; ++i) {
            auto silent = backend.makeEngine(QStringLiteral("pipemic"));
            QVERIFY(silent);
            QVERIFY(!silent->installTap(silent->inputFormat(), [](const QAudioBuffer&) {}));
            QCOMPARE(silent->start().outcome, CaptureStart::started);
            if (i == 0)
                engine = std::move(silent);
        }
        engine.reset();
        QTRY_COMPARE(streamsOn(QStringLiteral("pipemic")), 0);
    }
};

QTEST_MAIN(AudioCaptureTest)
#include "tst_audio_capture.moc"
