// The recorder's logic on scripted engines and a virtual clock: the start
// sequence (retries, held engine, pauses, errors, fallback), the tap's
// conversion and level, collection, and the warm-up.
#include "LogFile.h"
#include "TestDataFolder.h"

#include "audio/AudioRecorder.h"
#include "store/Config.h"
#include "store/Log.h"

#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <set>

namespace {

QAudioFormat format(int rate, int channels, QAudioFormat::SampleFormat sample = QAudioFormat::Int16)
{
    QAudioFormat f;
    f.setSampleRate(rate);
    f.setChannelCount(channels);
    f.setSampleFormat(sample);
    return f;
}

// What one scripted engine does.
struct Script {
    QAudioFormat format = ::format(44100, 2);
    std::optional<QString> tapRefusal;
    CaptureStart start;
    std::optional<double> soundAfter;  // seconds after its start; none: never
};

struct FakeWorld;

// A fake engine for unit tests: plays its script and records what was asked.
struct FakeEngine : CaptureEngine {
    FakeWorld& world;
    int id;
    Script script;
    Tap tap;
    bool running = false;
    double startedAt = 0;
    FakeEngine(FakeWorld& w, int i, Script s) : world(w), id(i), script(std::move(s)) {}
    ~FakeEngine() override;
    void note(const char* what);
    QAudioFormat inputFormat() override { return script.format; }
    std::optional<QString> installTap(const QAudioFormat&, Tap t) override
    {
        note("tap");
        if (script.tapRefusal)
            return script.tapRefusal;
        tap = std::move(t);
        return std::nullopt;
    }
    CaptureStart start() override;
    void removeTap() override { tap = nullptr; }
    void stop() override;
    void deliver(const QAudioBuffer& buffer)
    {
        if (tap)
            tap(buffer);
    }
};

// Scripted inputs and a virtual clock for unit tests. Sleeping moves the
// clock on and lets started engines deliver sound when their script says so.
struct FakeWorld : CaptureBackend {
    QList<AudioInputDevice> devices;
    QList<Script> scripts;  // one per engine made; the last one repeats
    QStringList events;     // "make:UID", "tap#N", "start#N", "sound#N", "stop#N"
    QList<double> pauses;   // sleeps longer than a poll
    std::set<int> stopped;
    QList<FakeEngine*> engines;
    double clock = 0;
    int made = 0;

    std::optional<AudioInputDevice> find(const QString& uid) override
    {
        for (const auto& d : devices)
            if (d.uid == uid)
                return d;
        return std::nullopt;
    }
    std::unique_ptr<CaptureEngine> makeEngine(const QString& uid) override
    {
        if (!uid.isEmpty() && !find(uid))
            return nullptr;
        events << QStringLiteral("make:") + uid;
        const Script s = scripts.isEmpty() ? Script{} : scripts.value(made, scripts.last());
        auto engine = std::make_unique<FakeEngine>(*this, ++made, s);
        engines << engine.get();
        return engine;
    }
    double now() override { return clock; }
    void sleep(double seconds) override
    {
        clock += seconds;
        if (seconds > 0.05)
            pauses << seconds;
        for (FakeEngine* e : QList<FakeEngine*>(engines)) {
            if (!e->running || !e->tap || !e->script.soundAfter || clock + 1e-9 < e->startedAt + *e->script.soundAfter)
                continue;
            if (!events.contains(QStringLiteral("sound#%1").arg(e->id)))
                events << QStringLiteral("sound#%1").arg(e->id);
            const QAudioFormat f = e->script.format;
            e->deliver(QAudioBuffer(QByteArray(f.bytesForDuration(10000), '\0'), f));
        }
    }
    bool allStoppedBut(int keep) const
    {
        for (int id = 1; id <= made; ++id)
            if (id != keep && !stopped.count(id))
                return false;
        return true;
    }
};

FakeEngine::~FakeEngine() { world.engines.removeAll(this); }
void FakeEngine::note(const char* what) { world.events << QStringLiteral("%1#%2").arg(QLatin1String(what)).arg(id); }
CaptureStart FakeEngine::start()
{
    note("start");
    if (script.start.outcome == CaptureStart::started) {
        running = true;
        startedAt = world.clock;
    }
    return script.start;
}
void FakeEngine::stop()
{
    if (!world.stopped.count(id))
        note("stop");
    world.stopped.insert(id);
    running = false;
}

Script silent() { return {}; }
Script sounding() { Script s; s.soundAfter = 0.05; return s; }

template <typename T>
QByteArray samplesOf(const QList<T>& values)
{
    return QByteArray(reinterpret_cast<const char*>(values.constData()), values.size() * qsizetype(sizeof(T)));
}

QString masked(const QString& name) { return Log::伏せた機器名(name); }

}  // namespace

class AudioRecorderTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data;
    FakeWorld* world = nullptr;
    std::unique_ptr<AudioRecorder> recorder;

    void make(QList<Script> scripts)
    {
        auto w = std::make_unique<FakeWorld>();
        world = w.get();
        world->scripts = std::move(scripts);
        world->devices = {{QStringLiteral("usb-1"), QStringLiteral("USB Mic")}};
        recorder = std::make_unique<AudioRecorder>(std::move(w));
    }
    std::optional<RecError::Kind> startError()
    {
        try {
            recorder->start();
        } catch (const RecError& e) {
            return e.kind;
        }
        return std::nullopt;
    }
    int indexOf(const QString& event) const { return int(world->events.indexOf(event)); }

private Q_SLOTS:
    void init()
    {
        data = std::make_unique<TestDataFolder>();
        Config::bootstrap();
    }
    void cleanup()
    {
        recorder.reset();
        data.reset();
    }

    void silentFirstAttemptIsHeldUntilTheSecondDelivers()
    {
        make({silent(), sounding()});
        QVERIFY(!startError());
        const QString mic = masked(QStringLiteral("Macと同じ"));
        QCOMPARE(logMessages(), (QStringList{
            QStringLiteral("音が流れてきません（%1・44100Hz）→ マイクを握ったまま組み立て直します（1回目）").arg(mic),
            QStringLiteral("録音の形式が決まりました: 44100Hz/2ch"),
            QStringLiteral("録音開始: %1・44100Hz 2ch（2回目で成功）").arg(mic),
        }));
        QCOMPARE(world->pauses, QList<double>{0.25});
        // The first engine kept running through the second attempt.
        QVERIFY(indexOf(QStringLiteral("sound#2")) >= 0);
        QVERIFY(indexOf(QStringLiteral("stop#1")) > indexOf(QStringLiteral("sound#2")));
        QVERIFY(world->allStoppedBut(2));
        QVERIFY(!world->stopped.count(2));
        recorder->stopAndCollectWav();
        QVERIFY(world->allStoppedBut(0));
    }

    void deviceThatNeverDeliversFailsAfterFourAttempts()
    {
        make({silent()});
        QCOMPARE(startError(), RecError::formatChanged);
        const QString mic = masked(QStringLiteral("Macと同じ"));
        QStringList expected;
        for (int n = 1; n <= 4; ++n)
            expected << QStringLiteral("音が流れてきません（%1・44100Hz）→ マイクを握ったまま組み立て直します（%2回目）").arg(mic).arg(n);
        expected << QStringLiteral("4回試しても音が流れませんでした（最後は44100Hz）→ 録音を中止します（アプリは落としません）");
        QCOMPARE(logMessages(), expected);
        QCOMPARE(world->pauses, (QList<double>{0.25, 0.45, 0.7}));
        QCOMPARE(world->made, 4);
        QVERIFY(world->allStoppedBut(0));
        // Each silent engine is held while the next one is built and started.
        for (int n = 1; n <= 3; ++n)
            QVERIFY(indexOf(QStringLiteral("stop#%1").arg(n)) > indexOf(QStringLiteral("start#%1").arg(n + 1)));
    }

    void formatAndTapFailuresAreRetried()
    {
        Script noFormat;
        noFormat.format = format(0, 0);
        Script tapRefused = sounding();
        tapRefused.format = format(48000, 1);
        tapRefused.tapRefusal = QStringLiteral("boom");
        Script openError = sounding();
        openError.start = {CaptureStart::refused, QStringLiteral("開けない")};
        make({noFormat, tapRefused, openError, sounding()});
        QVERIFY(!startError());
        const QStringList log = logMessages();
        QCOMPARE(log.size(), 4);
        QCOMPARE(log[0], QStringLiteral("タップを付けられません（48000Hz・boom）→ 組み立て直します（2回目）"));
        QCOMPARE(log[1], QStringLiteral("タップを付けられません（44100Hz・開けない）→ 組み立て直します（3回目）"));
        QCOMPARE(log[2], QStringLiteral("録音の形式が決まりました: 44100Hz/2ch"));
        QVERIFY(log[3].endsWith(QStringLiteral("（4回目で成功）")));
        QCOMPARE(world->pauses, (QList<double>{0.25, 0.45, 0.7}));
        QVERIFY(world->allStoppedBut(4));

        // A format that never becomes valid pauses after the fourth attempt too.
        recorder->cancel();
        QFile::remove(Config::file(QStringLiteral("sayri.log")));
        make({noFormat});
        QCOMPARE(startError(), RecError::formatChanged);
        QCOMPARE(logMessages(), QStringList{QStringLiteral("4回試しても音が流れませんでした（最後は0Hz）→ 録音を中止します（アプリは落としません）")});
        QCOMPARE(world->pauses, (QList<double>{0.25, 0.45, 0.7, 0.7}));
        QVERIFY(world->allStoppedBut(0));
    }

    void engineThatCannotStartFailsAtOnce()
    {
        Script failing;
        failing.start = {CaptureStart::failed, QStringLiteral("サーバーなし")};
        make({silent(), failing});
        QCOMPARE(startError(), RecError::noInput);
        QCOMPARE(logMessages().last(), QStringLiteral("マイクを開けません（サーバーなし）"));
        QCOMPARE(world->made, 2);
        QCOMPARE(world->pauses, QList<double>{0.25});
        QVERIFY(world->allStoppedBut(0));
    }

    void configuredDeviceOrFallbackToDefault()
    {
        Config::edit([](ConfigData& c) { c.micDeviceUID = QStringLiteral("usb-gone"); });
        make({sounding()});
        QVERIFY(!startError());
        QVERIFY(recorder->fellBackToDefault());
        QCOMPARE(world->events.first(), QStringLiteral("make:"));
        QCOMPARE(logMessages().first(), QStringLiteral("選んだマイクが見つからない（%1）→ Macと同じマイクで録音").arg(masked(QStringLiteral("usb-gone"))));
        recorder->cancel();

        Config::edit([](ConfigData& c) { c.micDeviceUID = QStringLiteral("usb-1"); });
        make({sounding()});
        QVERIFY(!startError());
        QVERIFY(!recorder->fellBackToDefault());
        QCOMPARE(world->events.first(), QStringLiteral("make:usb-1"));
        QCOMPARE(logMessages().last(), QStringLiteral("録音開始: %1・44100Hz 2ch").arg(masked(QStringLiteral("USB Mic"))));
    }

    void tapConvertsAccumulatesAndReportsLevel()
    {
        Script s = sounding();
        s.format = format(16000, 1);
        make({s});
        QList<float> levels;
        int rawBuffers = 0;
        recorder->onLevel = [&levels](float l) { levels << l; };
        recorder->onRawBuffer = [&rawBuffers](const QAudioBuffer&) { ++rawBuffers; };
        QVERIFY(!startError());
        QTRY_VERIFY(!levels.isEmpty());
        QCOMPARE(levels.last(), 0.0f);  // the silent buffers of the start

        // Alternating full-scale samples at 16 kHz mono pass unchanged.
        QList<qint16> alternating;
        for (int i = 0; i < 1600; ++i)
            alternating << (i % 2 ? qint16(-32768) : qint16(32767));
        levels.clear();
        const int before = rawBuffers;
        FakeEngine* engine = world->engines.last();
        engine->deliver(QAudioBuffer(samplesOf(alternating), s.format));
        QCOMPARE(rawBuffers, before + 1);
        QTRY_COMPARE(levels.size(), 1);
        QVERIFY(std::abs(levels[0] - 1.0f) < 0.001f);

        QCOMPARE(logMessages().count(QStringLiteral("録音の形式が決まりました: 16000Hz/1ch")), 1);
        const QByteArray wav = recorder->stopAndCollectWav();
        QVERIFY(wav.endsWith(samplesOf(alternating)));
        QCOMPARE(qFromLittleEndian<quint32>(wav.constData() + 40), quint32(wav.size() - 44));
        // The alternating part is at full scale, the start's buffer silent.
        const double samples = (wav.size() - 44) / 2;
        const double expected = std::sqrt(1600 * (32767.0 * 32767.0 + 32768.0 * 32768.0) / 2 / samples);
        QVERIFY(std::abs(recorder->lastLoudness() - expected) < 0.01);
        // Nothing collected after a cancel: a bare header and loudness 0.
        QVERIFY(!startError());
        recorder->cancel();
        QCOMPARE(recorder->stopAndCollectWav().size(), 44);
        QCOMPARE(recorder->lastLoudness(), 0.0);
    }

    void converterIsMadeOncePerFormat()
    {
        const QAudioFormat floats = format(48000, 2, QAudioFormat::Float);
        const QAudioFormat ints = format(44100, 2, QAudioFormat::Int32);
        Script s = sounding();
        s.format = floats;
        make({s});
        QVERIFY(!startError());
        recorder->cancel();
        QFile::remove(Config::file(QStringLiteral("sayri.log")));
        make({s});
        QVERIFY(!startError());
        FakeEngine* engine = world->engines.last();

        // One second of a 1 kHz tone at half scale, as 48 kHz float, then as
        // 44.1 kHz 32-bit, then as float again: each stretch in 10 buffers.
        auto tone = [](const QAudioFormat& f, int part) {
            const int frames = f.sampleRate() / 10;
            QByteArray bytes(f.bytesForFrames(frames), Qt::Uninitialized);
            for (int i = 0; i < frames; ++i) {
                const double v = 0.5 * std::sin(2 * M_PI * 1000 * double(part * frames + i) / f.sampleRate());
                for (int c = 0; c < 2; ++c) {
                    if (f.sampleFormat() == QAudioFormat::Float)
                        reinterpret_cast<float*>(bytes.data())[2 * i + c] = float(v);
                    else
                        reinterpret_cast<qint32*>(bytes.data())[2 * i + c] = qint32(v * 2147483647.0);
                }
            }
            return QAudioBuffer(bytes, f);
        };
        for (const QAudioFormat& f : {floats, ints, floats})
            for (int part = 0; part < 10; ++part)
                engine->deliver(tone(f, part));
        QCOMPARE(logMessages().filter(QStringLiteral("録音の形式が決まりました")), (QStringList{
            QStringLiteral("録音の形式が決まりました: 48000Hz/2ch"),
            QStringLiteral("録音の形式が決まりました: 44100Hz/2ch"),
            QStringLiteral("録音の形式が決まりました: 48000Hz/2ch"),
        }));
        const QByteArray wav = recorder->stopAndCollectWav();
        const qsizetype samples = (wav.size() - 44) / 2;
        // Three seconds at 16 kHz (plus the start's buffer), less what each
        // converter still holds in its filter when it is replaced (~20 ms).
        QVERIFY2(samples > 3 * 16000 - 1300 && samples <= 3 * 16000 + 160, qPrintable(QString::number(samples)));
        // A half-scale sine keeps its RMS (0.5/sqrt 2 of full scale).
        QVERIFY2(std::abs(recorder->lastLoudness() - 11585) < 350, qPrintable(QString::number(recorder->lastLoudness())));
    }

    void warmUpOpensTheDeviceUntilSoundFlows()
    {
        const QString mic = masked(QStringLiteral("USB Mic"));
        make({});
        AudioRecorder::warmUp(QStringLiteral("gone"), *world);
        QCOMPARE(world->made, 0);
        QVERIFY(logMessages().isEmpty());

        Script s = sounding();
        s.format = format(48000, 1);
        Script quiet = silent();
        quiet.format = s.format;
        world->scripts = {quiet, s};
        AudioRecorder::warmUp(QStringLiteral("usb-1"), *world);
        QCOMPARE(logMessages(), (QStringList{
            QStringLiteral("ならし運転: まだ音が出ません（%1・48000Hz・1回目）").arg(mic),
            QStringLiteral("マイクのならし運転OK: %1・48000Hz（2回目で音を確認）").arg(mic),
        }));
        QVERIFY(world->allStoppedBut(0));

        QFile::remove(Config::file(QStringLiteral("sayri.log")));
        make({quiet});
        AudioRecorder::warmUp(QStringLiteral("usb-1"), *world);
        const QStringList log = logMessages();
        QCOMPARE(log.last(), QStringLiteral("マイクのならし運転: 3秒ねばりましたが音を確認できませんでした（%1）").arg(mic));
        QCOMPARE(log.size() - 1, world->made);  // one "not yet" line per attempt
        QVERIFY(world->clock >= 3.0 && world->clock < 3.8);
        QVERIFY(world->allStoppedBut(0));
    }
};

QTEST_GUILESS_MAIN(AudioRecorderTest)
#include "tst_audio_recorder.moc"
