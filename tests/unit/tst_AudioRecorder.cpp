// The recorder's logic on scripted engines and a virtual clock: the start
// sequence (retries, held engine, pauses, errors), the tap's conversion and
// level, collection, and the WAV header around the samples.
#include "FakeCaptureBackend.h"
#include "LogFile.h"
#include "TestDataFolder.h"

#include "audio/AudioRecorder.h"
#include "store/Config.h"
#include "store/Log.h"

#include <QtTest>

#include <cmath>

namespace {

Script sounding(QAudioFormat f = format(44100, 2))
{
    Script s;
    s.format = f;
    s.sounds = true;
    return s;
}

template <typename T> QByteArray bytesOf(const QList<T>& values)
{
    return QByteArray(reinterpret_cast<const char*>(values.constData()), values.size() * qsizetype(sizeof(T)));
}

const QList<double> pausesOfFourTries{0.25, 0.45, 0.7};

}  // namespace

class TestAudioRecorder : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data;
    FakeCaptureBackend* world = nullptr;
    std::unique_ptr<AudioRecorder> recorder;

    void make(QList<Script> scripts)
    {
        recorder.reset();
        QFile::remove(Config::file(QStringLiteral("sayri.log")));
        auto w = std::make_unique<FakeCaptureBackend>();
        world = w.get();
        world->scripts = std::move(scripts);
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

private Q_SLOTS:
    void wavHeader()
    {
        // "RIFF" size "WAVEfmt " 16 PCM channels rate byte-rate align 16-bit "data" size, then the samples
        QCOMPARE(AudioRecorder::wav(QByteArray(7, '\7'), 44100, 2).toHex(),
                 QByteArray("524946462b00000057415645666d7420100000000100020044ac000010b10200040010006461746107000000"
                            "07070707070707"));
    }

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

    void retriesHoldTheSilentEngineUntilTheNextDelivers()
    {
        Script tapRefused = sounding(format(48000, 1));
        tapRefused.tapRefusal = QStringLiteral("boom");
        make({Script{}, tapRefused, tapRefused, sounding()});
        QVERIFY(!startError());
        QCOMPARE(logMessages().last(), QStringLiteral("録音開始: %1・44100Hz 2ch（4回目で成功）")
                                           .arg(Log::伏せた機器名(QStringLiteral("パソコンと同じ"))));
        QCOMPARE(world->pauses, pausesOfFourTries);
        // The silent first engine ran until the fourth delivered sound.
        QVERIFY(world->at(QStringLiteral("sound#4")) >= 0);
        QVERIFY(world->at(QStringLiteral("stop#1")) > world->at(QStringLiteral("sound#4")));
        QVERIFY(world->allStoppedBut(4));
        recorder->stopAndCollectWav();
        QVERIFY(world->allStoppedBut(0));
    }

    void givingUpLeavesNothingOpen()
    {
        // Never any sound: four attempts, each engine held through the next
        // (what the log says: tst_AudioCapture, on a real sound server).
        make({Script{}});
        QCOMPARE(startError(), RecError::formatChanged);
        for (int n = 1; n <= 3; ++n)
            QVERIFY(world->at(QStringLiteral("stop#%1").arg(n)) > world->at(QStringLiteral("start#%1").arg(n + 1)));
        QVERIFY(world->allStoppedBut(0));

        // A format that never becomes valid pauses after the fourth too.
        Script noFormat;
        noFormat.format = format(0, 0);
        make({noFormat});
        QCOMPARE(startError(), RecError::formatChanged);
        QCOMPARE(world->pauses, pausesOfFourTries + QList<double>{0.7});

        // A stream refused, denied or failed ends the sequence at once.
        for (const auto outcome : {CaptureStart::failed, CaptureStart::refused}) {
            Script failing;
            failing.start = {outcome, QStringLiteral("サーバーなし")};
            make({Script{}, failing});
            QCOMPARE(startError(), RecError::noInput);
            QCOMPARE(world->pauses, QList<double>{0.25});
            QVERIFY(world->allStoppedBut(0));
        }

        // A sluggish sound server: one deadline keeps the start near 3 s.
        Script slow;
        slow.answerTime = 2;
        make({slow});
        QCOMPARE(startError(), RecError::formatChanged);
        QVERIFY2(world->clock < 3.5, qPrintable(QString::number(world->clock)));
    }

    // A chosen microphone that does not open gives way to the default one.
    void tapConvertsAccumulatesAndReportsLevel()
    {
        const QAudioFormat mono16k = format(16000, 1);
        Config::edit([](ConfigData& c) { c.micDeviceUID = QStringLiteral("usb"); });
        make({sounding(mono16k)});
        world->openError = QStringLiteral("使用中です");
        QList<float> levels;
        int raw = 0;
        recorder->onLevel = [&levels](float l) { levels << l; };
        recorder->onRawBuffer = [&raw](const QAudioBuffer&) { ++raw; };
        QVERIFY(!startError() && recorder->fellBackToDefault());
        QTRY_COMPARE(levels, QList<float>{0.0f});  // the silent buffer of the start

        // Alternating full-scale samples at 16 kHz mono pass unchanged.
        QList<qint16> alternating;
        for (int i = 0; i < 1600; ++i)
            alternating << (i % 2 ? qint16(-32768) : qint16(32767));
        world->engines.last()->deliver(QAudioBuffer(bytesOf(alternating), mono16k));
        QCOMPARE(raw, 2);
        QTRY_COMPARE(levels.size(), 2);
        QVERIFY(std::abs(levels[1] - 1.0f) < 0.001f);

        const QByteArray wav = recorder->stopAndCollectWav();
        QVERIFY(wav.endsWith(bytesOf(alternating)));
        const double samples = (wav.size() - 44) / 2;
        const double rms = std::sqrt(1600 * (32767.0 * 32767.0 + 32768.0 * 32768.0) / 2 / samples);
        QVERIFY(std::abs(recorder->lastLoudness() - rms) < 0.01);

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
        make({sounding(floats)});
        QVERIFY(!startError());
        // One second of a 1 kHz tone at half scale as 48 kHz float, then as
        // 44.1 kHz 32-bit, then as float again: each in 10 buffers.
        auto tone = [](const QAudioFormat& f, int part) {
            const int frames = f.sampleRate() / 10;
            QByteArray bytes(f.bytesForFrames(frames), Qt::Uninitialized);
            for (int i = 0; i < 2 * frames; ++i) {
                const double v = 0.5 * std::sin(2 * M_PI * 1000 * double(part * frames + i / 2) / f.sampleRate());
                if (f.sampleFormat() == QAudioFormat::Float)
                    reinterpret_cast<float*>(bytes.data())[i] = float(v);
                else
                    reinterpret_cast<qint32*>(bytes.data())[i] = qint32(v * 2147483647.0);
            }
            return QAudioBuffer(bytes, f);
        };
        for (const QAudioFormat& f : {floats, ints, floats})
            for (int part = 0; part < 10; ++part)
                world->engines.last()->deliver(tone(f, part));
        QCOMPARE(logMessages().filter(QStringLiteral("録音の形式が決まりました")).size(), 3);
        const qsizetype samples = (recorder->stopAndCollectWav().size() - 44) / 2;
        // Three seconds at 16 kHz, less what each replaced converter still
        // held in its filter (~20 ms).
        QVERIFY2(samples > 3 * 16000 - 1300 && samples <= 3 * 16000 + 160, qPrintable(QString::number(samples)));
        // A half-scale sine keeps its RMS (0.5/sqrt 2 of full scale).
        QVERIFY2(std::abs(recorder->lastLoudness() - 11585) < 350,
                 qPrintable(QString::number(recorder->lastLoudness())));
    }
};

QTEST_GUILESS_MAIN(TestAudioRecorder)
#include "tst_AudioRecorder.moc"
