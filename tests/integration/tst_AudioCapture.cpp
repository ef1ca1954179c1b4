// The recorder and the device list on the session's PulseAudio: speech played
// into the virtual microphone, a source that never delivers, a device that
// vanishes before opening, and the warm-up (a microphone unplugged while
// recording is the first-dictation test's).
#include "DesktopProbe.h"
#include "LogFile.h"
#include "TestDataFolder.h"

#include "audio/AudioRecorder.h"
#include "platform/linux/PulseAudioInputs.h"
#include "platform/linux/PulseCapture.h"
#include "store/Config.h"
#include "store/Log.h"

#include <QProcess>
#include <QtEndian>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <numeric>

namespace {

PulseAudioInputs devices;
PulseCaptureBackend backend;

QString pactl(const QString& args)
{
    return DesktopProbe::run(QStringLiteral("pactl ") + args).value_or(QString());
}

// The number of capture streams PulseAudio has open (one is the session's
// own, keeping the monitor's latency low).
int streams()
{
    return int(pactl(QStringLiteral("list short source-outputs")).split(u'\n', Qt::SkipEmptyParts).size());
}

// The loudness envelope (RMS over 10 ms) of the first channel of a 16-bit
// WAV with the plain 44-byte header; its rate and channels.
QList<double> envelope(const QByteArray& wav, int& rate, int& channels)
{
    channels = std::max<int>(qFromLittleEndian<quint16>(wav.constData() + 22), 1);
    rate = int(qFromLittleEndian<quint32>(wav.constData() + 24));
    const qsizetype frames = (wav.size() - 44) / (2 * channels), window = rate / 100;
    QList<double> out;
    for (qsizetype at = 0; at + window <= frames; at += window) {
        double sum = 0;
        for (qsizetype i = at; i < at + window; ++i)
            sum += std::pow(qFromLittleEndian<qint16>(wav.constData() + 44 + 2 * channels * i), 2);
        out << std::sqrt(sum / window);
    }
    return out;
}

// The best Pearson correlation of `a` against `recorded` at any delay.
double bestCorrelation(const QList<double>& a, const QList<double>& recorded)
{
    double best = -1;
    for (qsizetype lag = 0; lag + a.size() <= recorded.size(); ++lag) {
        const QList<double> b = recorded.mid(lag, a.size());
        const double ma = std::accumulate(a.begin(), a.end(), 0.0) / a.size();
        const double mb = std::accumulate(b.begin(), b.end(), 0.0) / a.size();
        double ab = 0, aa = 0, bb = 0;
        for (qsizetype i = 0; i < a.size(); ++i) {
            ab += (a[i] - ma) * (b[i] - mb);
            aa += (a[i] - ma) * (a[i] - ma);
            bb += (b[i] - mb) * (b[i] - mb);
        }
        best = std::max(best, ab / std::sqrt(aa * bb));
    }
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

}  // namespace

class TestAudioCapture : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data;
    int streamsBefore = 0;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariable("SAYRI_SESSION_DIR").isEmpty(), "run inside scripts/desktop-session");
        data = std::make_unique<TestDataFolder>();
        Config::bootstrap();
        streamsBefore = streams();
    }
    void init()
    {
        Config::edit([](ConfigData& c) { c.micDeviceUID.clear(); });
        QFile::remove(Config::file(QStringLiteral("sayri.log")));
    }

    void deviceList()
    {
        const QList<AudioInputDevice> inputs = devices.inputs();
        QStringList uids;
        for (const AudioInputDevice& d : inputs)
            uids << d.uid;
        QVERIFY(uids.contains(QStringLiteral("vmic")) && uids.contains(QStringLiteral("pipemic")));
        QVERIFY2(uids.filter(QStringLiteral(".monitor")).isEmpty(), qPrintable(uids.join(u' ')));
        QCOMPARE(devices.find(QStringLiteral("vmic"))->name, QStringLiteral("VirtualMic"));
        QVERIFY(!devices.find(QString()) && !devices.find(QStringLiteral("gone-mic")));
        QCOMPARE(devices.defaultInput()->name, QStringLiteral("VirtualMic"));
        QCOMPARE(PulseCaptureBackend().find(QStringLiteral("pipemic")), devices.find(QStringLiteral("pipemic")));

        // A device that comes and goes is seen at the next call.
        const QString module = pactl(QStringLiteral("load-module module-null-source source_name=extra"));
        QTRY_VERIFY(devices.find(QStringLiteral("extra")));
        pactl(QStringLiteral("unload-module ") + module);
        QTRY_VERIFY(!devices.find(QStringLiteral("extra")));
    }

    void speechIsRecordedFaithfully()
    {
        const QString path = data->root() + QStringLiteral("/speech.wav");
        QCOMPARE(QProcess::execute(
                     QStringLiteral("espeak-ng"),
                     {QStringLiteral("-v"), QStringLiteral("ja"), QStringLiteral("-w"), path,
                      QStringLiteral("きょうは いい てんき ですね。 おんせい にゅうりょく の しけん を しています。")}),
                 0);
        int rate = 0, channels = 0;
        const QList<double> played = envelope(readFile(path), rate, channels);

        AudioRecorder recorder(std::make_unique<PulseCaptureBackend>());
        QList<float> levels;
        std::atomic<int> rawOffMain{0};
        QThread* main = QThread::currentThread();
        recorder.onLevel = [&levels, main](float l) {
            if (QThread::currentThread() == main)
                levels << l;
        };
        recorder.onRawBuffer = [&rawOffMain, main](const QAudioBuffer&) {
            rawOffMain += QThread::currentThread() != main;
        };
        QVERIFY(!startError(recorder));
        QElapsedTimer recording;
        recording.start();
        QCOMPARE(QProcess::execute(QStringLiteral("paplay"), {QStringLiteral("--device=vsink"), path}), 0);
        QTest::qWait(300);
        const double seconds = double(recording.nsecsElapsed()) / 1e9;
        const QList<double> got = envelope(recorder.stopAndCollectWav(), rate, channels);

        QCOMPARE(rate, 16000);
        QCOMPARE(channels, 1);
        const double r = bestCorrelation(played, got);
        qInfo("recorded %.2f s in %.3f s; envelope correlation %.3f", got.size() / 100.0, seconds, r);
        QVERIFY(std::abs(got.size() / 100.0 - seconds) <= 0.1);
        QVERIFY(r >= 0.9);
        QVERIFY(recorder.lastLoudness() >= 200);
        QTRY_VERIFY(!levels.isEmpty());
        QVERIFY(*std::max_element(levels.begin(), levels.end()) > 0.01f);
        QVERIFY(rawOffMain > 0);  // the live-preview hook runs on the audio thread

        QTRY_COMPARE(streams(), streamsBefore);
    }

    // The retries and the warm-up's tries are the recorder's unit test's; here
    // the real stream gives no sound, and every stream opened is closed again.
    void sourceThatNeverDelivers()
    {
        const QString mic = Log::伏せた機器名(devices.find(QStringLiteral("pipemic"))->name);
        Config::edit([](ConfigData& c) { c.micDeviceUID = QStringLiteral("pipemic"); });
        AudioRecorder recorder(std::make_unique<PulseCaptureBackend>());
        QCOMPARE(startError(recorder), RecError::formatChanged);
        QTRY_COMPARE(streams(), streamsBefore);

        AudioRecorder::warmUp(QStringLiteral("pipemic"), backend);
        QCOMPARE(logMessages().last(),
                 QStringLiteral("マイクのならし運転: 3秒ねばりましたが音を確認できませんでした（%1）").arg(mic));
        QTRY_COMPARE(streams(), streamsBefore);

        // One that delivers warms up; one that is not there is passed over.
        const qsizetype logged = logMessages().size();
        AudioRecorder::warmUp(QStringLiteral("no-such-mic"), backend);
        QCOMPARE(logMessages().size(), logged);
        AudioRecorder::warmUp(QStringLiteral("vmic"), backend);
        QVERIFY(logMessages().last().startsWith(
            QStringLiteral("マイクのならし運転OK: %1・44100Hz").arg(Log::伏せた機器名(QStringLiteral("VirtualMic")))));
    }

    // Gone between being found and being opened: the start is refused at once
    // (the recorder tries again) instead of waiting for it; the next recording works.
    void deviceVanishingBeforeOpening()
    {
        const QString module = pactl(QStringLiteral("load-module module-null-source source_name=brief"));
        std::unique_ptr<CaptureEngine> engine;
        QTRY_VERIFY((engine = backend.makeEngine(QStringLiteral("brief"), nullptr)) != nullptr);
        pactl(QStringLiteral("unload-module ") + module);
        QVERIFY(!engine->installTap(engine->inputFormat(), [](const QAudioBuffer&) {}));
        QElapsedTimer starting;
        starting.start();
        QCOMPARE(engine->start().outcome, CaptureStart::refused);
        QVERIFY(starting.elapsed() < 3000);
        engine.reset();

        AudioRecorder recorder(std::make_unique<PulseCaptureBackend>());
        QVERIFY(!startError(recorder));
        recorder.cancel();
    }
};

QTEST_MAIN(TestAudioCapture)
#include "tst_AudioCapture.moc"
