// The microphone with no sound server at all: every start fails cleanly with
// noInput, nothing hangs, and the recorder keeps working afterwards.
#include "LogFile.h"
#include "TestDataFolder.h"

#include "audio/AudioRecorder.h"
#include "platform/linux/PulseAudioInputs.h"
#include "platform/linux/PulseCapture.h"
#include "store/Config.h"
#include "store/Log.h"

#include <QtTest>

class TestAudioNoServer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startFailsWithNoInput()
    {
        qputenv("PULSE_SERVER", "unix:/nonexistent/sayri-test/native");
        TestDataFolder data;
        Config::bootstrap();
        QVERIFY(PulseAudioInputs().inputs().isEmpty());
        QVERIFY(!PulseAudioInputs().defaultInput());

        AudioRecorder recorder(std::make_unique<PulseCaptureBackend>());
        for (int i = 0; i < 2; ++i) {
            try {
                recorder.start();
                QFAIL("started without a sound server");
            } catch (const RecError& e) {
                QCOMPARE(e.kind, RecError::noInput);
            }
        }
        QCOMPARE(logMessages(), QStringList(2, QStringLiteral("マイクを開けません（音声サーバーにつながりません）")));
        QCOMPARE(recorder.stopAndCollectWav().size(), 44);
        QCOMPARE(recorder.lastLoudness(), 0.0);

        // A configured device cannot be found either: the default is tried.
        Config::edit([](ConfigData& c) { c.micDeviceUID = QStringLiteral("vmic"); });
        QVERIFY_THROWS_EXCEPTION(RecError, recorder.start());
        QCOMPARE(logMessages().mid(2),
                 (QStringList{
                     QStringLiteral("選んだマイクが見つからない（%1）→ パソコンと同じマイクで録音")
                         .arg(Log::伏せた機器名(QStringLiteral("vmic"))),
                     QStringLiteral("マイクを開けません（音声サーバーにつながりません）"),
                 }));
        QVERIFY(recorder.fellBackToDefault());

        // The warm-up finds nothing to open and says nothing.
        PulseCaptureBackend backend;
        AudioRecorder::warmUp(QStringLiteral("vmic"), backend);
        QCOMPARE(logMessages().size(), 4);
    }
};

QTEST_GUILESS_MAIN(TestAudioNoServer)
#include "tst_AudioNoServer.moc"
