// The recorder and the device list on the session's PulseAudio: speech played
// into the virtual microphone, a source that never delivers, a configured
// device that is gone, unplugged or vanishes before opening, and the warm-up.
#include "LogFile.h"
#include "TestDataFolder.h"

#include "audio/AudioRecorder.h"
#include "platform/linux/PulseAudioInputs.h"
#include "platform/linux/PulseCapture.h"
#include "store/Config.h"
#include "store/Log.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtEndian>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <numeric>

namespace {

PulseAudioInputs devices;
PulseCaptureBackend backend;

// pactl with space-separated arguments; its output.
QString pactl(const QString& args)
{
    QProcess p;
    p.start(QStringLiteral("pactl"), args.split(u' '));
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// The number of capture streams PulseAudio has open on a source.
int streamsOn(const QString& source)
{
    QString index = QStringLiteral("none");
    for (const QString& row : pactl(QStringLiteral("list short sources")).split(u'\n'))
        if (row.section(u'\t', 1, 1) == source)
            index = row.section(u'\t', 0, 0);
    int n = 0;
    for (const QString& row : pactl(QStringLiteral("list short source-outputs")).split(u'\n'))
        n += row.section(u'\t', 1, 1) == index;
    return n;
}

// The first channel of a 16-bit WAV with the plain 44-byte header.
QList<double> readWav(const QByteArray& wav, int& rate, int& channels)
{
    channels = qFromLittleEndian<quint16>(wav.constData() + 22);
    rate = int(qFromLittleEndian<quint32>(wav.constData() + 24));
    QList<double> samples;
    for (qsizetype at = 44; at + 2 <= wav.size(); at += 2 * std::max(channels, 1))
        samples << qFromLittleEndian<qint16>(wav.constData() + at);
    return samples;
}

// RMS over 10 ms windows.
QList<double> envelope(const QList<double>& s, int rate)
{
    QList<double> out;
    const int w = rate / 100;
    for (qsizetype at = 0; at + w <= s.size(); at += w) {
        double sum = 0;
        for (int i = 0; i < w; ++i)
            sum += s[at + i] * s[at + i];
        out << std::sqrt(sum / w);
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

void setMic(const QString& uid)
{
    Config::edit([&uid](ConfigData& c) { c.micDeviceUID = uid; });
}

QString masked(const QString& name)
{
    return Log::伏せた機器名(name);
}

}  // namespace

class TestAudioCapture : public QObject {
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
        const QList<AudioInputDevice> inputs = devices.inputs();
        QStringList uids;
        for (const AudioInputDevice& d : inputs)
            uids << d.uid;
        QVERIFY(uids.contains(QStringLiteral("vmic")) && uids.contains(QStringLiteral("pipemic")));
        QVERIFY2(uids.filter(QStringLiteral(".monitor")).isEmpty(), qPrintable(uids.join(u' ')));
        QCOMPARE(devices.find(QStringLiteral("vmic"))->name, QStringLiteral("VirtualMic"));
        QVERIFY(!devices.find(QString()));
        QCOMPARE(devices.defaultInput()->name, QStringLiteral("VirtualMic"));
        QCOMPARE(PulseCaptureBackend().find(QStringLiteral("pipemic")), devices.find(QStringLiteral("pipemic")));
        pipeName = devices.find(QStringLiteral("pipemic"))->name;

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
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        int playedRate = 0, rate = 0, channels = 0;
        const QList<double> played = readWav(file.readAll(), playedRate, channels);

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
        const QList<double> got = readWav(recorder.stopAndCollectWav(), rate, channels);

        QCOMPARE(rate, 16000);
        QCOMPARE(channels, 1);
        const double length = double(got.size()) / 16000;
        const double r = bestCorrelation(envelope(played, playedRate), envelope(got, 16000));
        qInfo("recorded %.3f s in %.3f s; envelope correlation %.3f", length, seconds, r);
        QVERIFY(std::abs(length - seconds) <= 0.1);
        QVERIFY(r >= 0.9);
        QVERIFY(recorder.lastLoudness() >= 200);
        QTRY_VERIFY(!levels.isEmpty());
        QVERIFY(*std::max_element(levels.begin(), levels.end()) > 0.01f);
        QVERIFY(rawOffMain > 0);  // the live-preview hook runs on the audio thread

        const QStringList log = logMessages();
        QVERIFY(log.contains(QStringLiteral("録音の形式が決まりました: 44100Hz/2ch")));
        const QRegularExpression started(QStringLiteral("^録音開始: %1・44100Hz 2ch(（[234]回目で成功）)?$")
                                             .arg(masked(QStringLiteral("パソコンと同じ"))));
        QVERIFY2(!log.filter(started).isEmpty(), qPrintable(log.join(u'\n')));
        QTRY_COMPARE(streamsOn(QStringLiteral("vmic")), 0);
    }

    void sourceThatNeverDelivers()
    {
        const QString mic = masked(pipeName);
        setMic(QStringLiteral("pipemic"));
        AudioRecorder recorder(std::make_unique<PulseCaptureBackend>());
        QCOMPARE(startError(recorder), RecError::formatChanged);
        QStringList expected;
        for (int n = 1; n <= 4; ++n)
            expected << QStringLiteral(
                            "音が流れてきません（%1・16000Hz）→ マイクを握ったまま組み立て直します（%2回目）")
                            .arg(mic)
                            .arg(n);
        expected << QStringLiteral(
            "4回試しても音が流れませんでした（最後は16000Hz）→ 録音を中止します（アプリは落としません）");
        QCOMPARE(logMessages(), expected);
        QTRY_COMPARE(streamsOn(QStringLiteral("pipemic")), 0);

        // The warm-up tries for three seconds, one line per try.
        QFile::remove(Config::file(QStringLiteral("sayri.log")));
        AudioRecorder::warmUp(QStringLiteral("pipemic"), backend);
        const QStringList log = logMessages();
        QVERIFY(log.size() >= 3);
        QCOMPARE(log.first(), QStringLiteral("ならし運転: まだ音が出ません（%1・16000Hz・1回目）").arg(mic));
        QCOMPARE(log.last(),
                 QStringLiteral("マイクのならし運転: 3秒ねばりましたが音を確認できませんでした（%1）").arg(mic));
        QTRY_COMPARE(streamsOn(QStringLiteral("pipemic")), 0);
    }

    void warmUpOfADeliveringDevice()
    {
        AudioRecorder::warmUp(QStringLiteral("no-such-mic"), backend);
        QVERIFY(logMessages().isEmpty());
        AudioRecorder::warmUp(QStringLiteral("vmic"), backend);
        const QRegularExpression ok(QStringLiteral("^マイクのならし運転OK: %1・44100Hz（\\d回目で音を確認）$")
                                        .arg(masked(QStringLiteral("VirtualMic"))));
        QCOMPARE(logMessages().filter(ok).size(), 1);
    }

    void goneUnpluggedOrVanishingDevice()
    {
        // A configured device that is gone: the default input instead.
        setMic(QStringLiteral("gone-mic"));
        AudioRecorder recorder(std::make_unique<PulseCaptureBackend>());
        QVERIFY(!startError(recorder));
        QVERIFY(recorder.fellBackToDefault());
        QCOMPARE(logMessages().first(), QStringLiteral("選んだマイクが見つからない（%1）→ パソコンと同じマイクで録音")
                                            .arg(masked(QStringLiteral("gone-mic"))));
        recorder.cancel();

        // Unplugged in the middle of a recording: it ends with what was captured.
        QString module =
            pactl(QStringLiteral("load-module module-remap-source master=vsink.monitor source_name=tmpmic"));
        QTRY_VERIFY(devices.find(QStringLiteral("tmpmic")));
        setMic(QStringLiteral("tmpmic"));
        QVERIFY(!startError(recorder));
        QVERIFY(!recorder.fellBackToDefault());
        QVERIFY(logMessages().last().startsWith(
            QStringLiteral("録音開始: %1・").arg(masked(devices.find(QStringLiteral("tmpmic"))->name))));
        QTest::qWait(500);
        pactl(QStringLiteral("unload-module ") + module);
        QTest::qWait(300);
        QElapsedTimer stopping;
        stopping.start();
        const QByteArray wav = recorder.stopAndCollectWav();
        QVERIFY(stopping.elapsed() < 3000);
        QVERIFY2(wav.size() - 44 >= 32000 * 4 / 10, qPrintable(QString::number(wav.size())));

        // Gone between being found and being opened: the start is refused at
        // once (the recorder tries again) instead of waiting for it.
        module = pactl(QStringLiteral("load-module module-null-source source_name=brief"));
        PulseCaptureBackend backend;
        std::unique_ptr<CaptureEngine> engine;
        QTRY_VERIFY((engine = backend.makeEngine(QStringLiteral("brief"), nullptr)) != nullptr);
        pactl(QStringLiteral("unload-module ") + module);
        QVERIFY(!engine->installTap(engine->inputFormat(), [](const QAudioBuffer&) {}));
        stopping.restart();
        QCOMPARE(engine->start().outcome, CaptureStart::refused);
        QVERIFY(stopping.elapsed() < 3000);
        engine.reset();

        // And the next recording works.
        setMic(QString());
        QVERIFY(!startError(recorder));
        recorder.cancel();
    }
};

QTEST_MAIN(TestAudioCapture)
#include "tst_AudioCapture.moc"
