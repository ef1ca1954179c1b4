// The dictation controller driven through recording fakes: the phase table,
// the silence gate, recognition outcomes, delivery, labels and the limit.
#include "Fakes.h"
#include "TestDataFolder.h"

#include "app/AppState.h"
#include "store/Config.h"
#include "store/RecordingRescue.h"

#include <QtTest>

class TestDictationController : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data;
    FakeServices* fakes = nullptr;
    std::unique_ptr<AppState> app;

    void make(AppTiming timing = {})
    {
        fakes = new FakeServices;
        fakes->audioInputs->defaultDevice = AudioInputDevice{QStringLiteral("vmic"), QStringLiteral("VirtualMic")};
        app = std::make_unique<AppState>(fakes->take(), timing);
    }

    // A recording started by a clean double tap.
    void startByDoubleTap()
    {
        app->optionTapped(100.0);
        app->optionTapped(100.3);
        QCOMPARE(app->phase(), Phase::recording);
    }

    // Stops the recording and waits until the controller is idle again.
    void stopAndSettle()
    {
        app->stopAndProcess();
        QCOMPARE(app->phase(), Phase::processing);
        QTRY_COMPARE_WITH_TIMEOUT(app->phase(), Phase::idle, 3000);
    }

private Q_SLOTS:
    void init()
    {
        data = std::make_unique<TestDataFolder>();
        Config::bootstrap();
        make();
    }
    void cleanup()
    {
        app.reset();
        delete fakes;
        fakes = nullptr;
        data.reset();
    }

    // Taps arm, start and stop; the reply is cleaned, rewritten by the
    // dictionary (every occurrence, longest reading first), pasted, stored
    // with the raw reply, confirmed.
    void fromTapsToPaste()
    {
        // A recorder that cannot start: back to idle, told why, no sound.
        fakes->recorder->failWith = RecError::noInput;
        app->optionTapped(1);
        app->optionTapped(1.2);
        QCOMPARE(app->phase(), Phase::idle);
        QCOMPARE(fakes->overlay->last(),
                 QStringLiteral(
                     "flash:録音を開始できません: マイク入力を開けませんでした（マイク許可を確認してください）@4"));
        QVERIFY(fakes->sounds->played.isEmpty());
        fakes->recorder->failWith.reset();

        data->writeText(QStringLiteral("dictionary.txt"),
                        QStringLiteral("ふかんず=俯瞰図\nきょう=京\nきょうと=京都\n"));
        const QString raw =
            QStringLiteral(" ふかんずを見て、ふかんずを直す。きょうとに行く👍🏽\n");
        fakes->server->replies << raw;
        // Two taps 0.5 s apart only arm; the second arms again.
        app->optionTapped(10.0);
        app->optionTapped(10.5);
        QCOMPARE(fakes->recorder->starts, 1);  // the failed one
        app->optionTapped(10.8);
        QCOMPARE(app->phase(), Phase::recording);
        QCOMPARE(fakes->statusIcon->current(), QStringLiteral("🔴"));
        QCOMPARE(fakes->sounds->played, QStringList{QStringLiteral("Pop")});
        QCOMPARE(fakes->screen->captures, 1);
        // A third tap right after the starting pair stops at once.
        app->optionTapped(11.0);
        QCOMPARE(app->phase(), Phase::processing);
        QCOMPARE(fakes->statusIcon->current(), QStringLiteral("⏳"));
        QCOMPARE(fakes->overlay->last(), QStringLiteral("show:文字起こし中…"));
        QVERIFY(!app->recordingLimitArmed());

        QTRY_COMPARE(app->phase(), Phase::idle);
        QCOMPARE(fakes->paster->pasted,
                 QStringList{QStringLiteral("俯瞰図を見て、俯瞰図を直す。京都に行く👍🏽")});
        QCOMPARE(app->history().entries().first().raw, raw);
        QCOMPARE(fakes->sounds->played,
                 (QStringList{QStringLiteral("Pop"), QStringLiteral("Bottle"), QStringLiteral("Glass")}));
        QCOMPARE(fakes->overlay->last(), QStringLiteral("flash:✓ 貼り付けました@1.2"));

        // No keystroke can reach a window: stored, but no paste is claimed.
        fakes->paster->keystrokeGoesOut = false;
        fakes->server->replies << QStringLiteral("手で貼る");
        startByDoubleTap();
        stopAndSettle();
        QCOMPARE(app->history().entries().size(), 2);
        QCOMPARE(fakes->overlay->last(),
                 QStringLiteral("flash:自動では貼り付けられませんでした（文字はクリップボードにあります）@3"));
    }

    void cancelInEveryPhase()
    {
        app->escPressed();  // idle: nothing, no message
        app->stopAndProcess();
        QVERIFY(fakes->overlay->events.isEmpty());

        startByDoubleTap();
        app->escPressed();
        QCOMPARE(app->phase(), Phase::idle);
        QCOMPARE(fakes->recorder->cancels, 1);
        QCOMPARE(fakes->overlay->last(), QStringLiteral("flash:取り消しました@1.2"));
        QTest::qWait(400);  // nothing is collected, sent or stored afterwards
        QCOMPARE(fakes->recorder->collects, 0);
        QVERIFY(fakes->server->seen().isEmpty());
        QVERIFY(app->history().entries().isEmpty());

        // While processing, taps, Escape and the stop button change nothing.
        fakes->server->replies << QStringLiteral("こんにちは");
        startByDoubleTap();
        app->stopAndProcess();
        app->optionTapped(200);
        app->optionTapped(200.1);
        app->escPressed();
        app->stopAndProcess();
        QCOMPARE(app->phase(), Phase::processing);
        QCOMPARE(fakes->recorder->cancels, 1);
        QTRY_COMPARE(app->phase(), Phase::idle);
        QCOMPARE(fakes->recorder->starts, 2);
        QCOMPARE(fakes->paster->pasted, QStringList{QStringLiteral("こんにちは")});
    }

    // Silence is not sent; no reply at all, or one that cleans to nothing,
    // drops a short recording and keeps one of 30 s. Nothing is pasted or stored.
    void nothingToDeliver()
    {
        fakes->recorder->loudness = 199.9;
        startByDoubleTap();
        stopAndSettle();
        QCOMPARE(fakes->overlay->last(), QStringLiteral("flash:何も聞こえませんでした@2"));
        app->pipelineQueue().drain();
        QVERIFY(fakes->server->seen().isEmpty());

        fakes->recorder->loudness = 200;
        fakes->server->replies << std::nullopt << QStringLiteral(" \n\t ") << std::nullopt << QString();
        for (int i = 0; i < 2; ++i) {
            startByDoubleTap();
            stopAndSettle();
            QCOMPARE(fakes->overlay->last(), QStringLiteral("flash:聞き取れませんでした@2"));
        }
        QCOMPARE(fakes->server->seen().first(), QStringLiteral("transcribe:%1").arg(44 + 32000));
        QCOMPARE(fakes->statusIcon->current(), QStringLiteral("🎙️"));
        fakes->recorder->wavToReturn = QByteArray(44 + 30 * 32000, '\2');
        const auto kept = [] { return QDir(録音の救出::フォルダ()).entryList({QStringLiteral("*.wav")}, QDir::Files); };
        for (int i = 1; i <= 2; ++i) {
            startByDoubleTap();
            stopAndSettle();
            QCOMPARE(fakes->overlay->last(), QStringLiteral("flash:文字にできませんでした（録音は残しました）@3"));
            QCOMPARE(kept().size(), i);
        }
        QVERIFY(fakes->paster->pasted.isEmpty());
        QVERIFY(app->history().entries().isEmpty());
    }

    // The bar names the application and the microphone; a recording left
    // alone ends at the limit.
    void recordingBarAndLimit()
    {
        app.reset();
        delete fakes;
        AppTiming timing;
        timing.recordingLimit = 1.0;
        make(timing);
        const auto bar = [this] {
            startByDoubleTap();
            const QString shown = fakes->overlay->events.last();
            app->escPressed();
            return shown;
        };
        QCOMPARE(bar(), QStringLiteral("bar:アプリ|VirtualMic"));  // no application, the default microphone
        fakes->frontmost->app = FrontmostAppInfo{42, QStringLiteral("テキストエディター"), {}, {}, {}};
        fakes->recorder->fellBack = true;  // the chosen microphone failed
        QCOMPARE(bar(), QStringLiteral("bar:テキストエディター|⚠ VirtualMic"));
        fakes->recorder->fellBack = false;
        fakes->audioInputs->devices = {{QStringLiteral("usb-1"), QStringLiteral("USB マイク")}};
        Config::edit([](ConfigData& c) { c.micDeviceUID = QStringLiteral("usb-1"); });
        QCOMPARE(bar(), QStringLiteral("bar:テキストエディター|USB マイク"));
        fakes->audioInputs->defaultDevice.reset();
        Config::edit([](ConfigData& c) { c.micDeviceUID = QStringLiteral("gone"); });
        QCOMPARE(bar(), QStringLiteral("bar:テキストエディター|マイク"));  // no input device at all

        fakes->server->replies << QStringLiteral("上限");
        startByDoubleTap();
        QTRY_COMPARE_WITH_TIMEOUT(fakes->paster->pasted, QStringList{QStringLiteral("上限")}, 4000);
    }
};

QTEST_MAIN(TestDictationController)
#include "tst_DictationController.moc"
