// The dictation controller driven through recording fakes: the phase table,
// the silence gate, recognition outcomes, delivery, labels and the limit.
#include "Fakes.h"
#include "LogFile.h"
#include "TestDataFolder.h"

#include "app/AppState.h"
#include "store/Config.h"
#include "store/RecordingRescue.h"

#include <QDir>

#include <QtTest>

class ControllerTest : public QObject {
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

    void tapsArmStartAndStop()
    {
        // Two taps 0.5 s apart only arm; the second arms again.
        app->optionTapped(10.0);
        app->optionTapped(10.5);
        QCOMPARE(app->phase(), Phase::idle);
        QCOMPARE(fakes->recorder->starts, 0);
        // A tap 0.3 s after the last armed one starts.
        app->optionTapped(10.8);
        QCOMPARE(app->phase(), Phase::recording);
        QCOMPARE(fakes->statusIcon->current(), QStringLiteral("🔴"));
        QCOMPARE(fakes->sounds->played, QStringList{QStringLiteral("Pop")});
        QCOMPARE(fakes->screen->captures, 1);
        QVERIFY(app->recordingLimitArmed());
        // A third tap right after the starting pair stops at once.
        app->optionTapped(11.0);
        QCOMPARE(app->phase(), Phase::processing);
        QCOMPARE(fakes->statusIcon->current(), QStringLiteral("⏳"));
        QCOMPARE(fakes->overlay->last(), QStringLiteral("show:文字起こし中…"));
        QVERIFY(!app->recordingLimitArmed());
        QVERIFY(logContains(QStringLiteral("キー: 録音キーが押されました（状態=録音中）")));
        QVERIFY(logContains(QStringLiteral("録音を止めて文字起こしに入ります")));
    }

    void firstTapOnlyArms()
    {
        app->optionTapped(0.45);
        QCOMPARE(app->phase(), Phase::idle);
        app->optionTapped(5000);
        QCOMPARE(app->phase(), Phase::idle);
        QCOMPARE(fakes->recorder->starts, 0);
    }

    void processingIgnoresTapsAndEscape()
    {
        fakes->server->replies << QStringLiteral("こんにちは");
        startByDoubleTap();
        app->stopAndProcess();
        app->optionTapped(200);
        app->optionTapped(200.1);
        app->escPressed();
        app->stopAndProcess();
        QCOMPARE(app->phase(), Phase::processing);
        QCOMPARE(fakes->recorder->cancels, 0);
        QVERIFY(logContains(QStringLiteral("キー: 録音キーが押されました（状態=文字起こし中）")));
        QVERIFY(logContains(QStringLiteral("停止の指示が来ましたが、録音中ではないので何もしません（状態=文字起こし中）")));
        QTRY_COMPARE(app->phase(), Phase::idle);
        QCOMPARE(fakes->recorder->starts, 1);
    }

    void cancelInEveryPhase()
    {
        app->escPressed();  // idle: nothing, no message
        QVERIFY(fakes->overlay->events.isEmpty());
        startByDoubleTap();
        app->escPressed();
        QCOMPARE(app->phase(), Phase::idle);
        QCOMPARE(fakes->recorder->cancels, 1);
        QCOMPARE(fakes->statusIcon->current(), QStringLiteral("🎙️"));
        QCOMPARE(fakes->overlay->last(), QStringLiteral("flash:取り消しました@1.2"));
        QVERIFY(!app->recordingLimitArmed());
        // Nothing is collected, sent or stored afterwards.
        QTest::qWait(400);
        QCOMPARE(fakes->recorder->collects, 0);
        QVERIFY(fakes->server->seen().isEmpty());
        QVERIFY(app->history().entries().isEmpty());
        // The stop button while idle only logs.
        app->stopAndProcess();
        QVERIFY(logContains(QStringLiteral("停止の指示が来ましたが、録音中ではないので何もしません（状態=待機中）")));
    }

    void silenceGate()
    {
        fakes->recorder->loudness = 199.9;
        startByDoubleTap();
        stopAndSettle();
        QVERIFY(logContains(QStringLiteral("何も聞こえませんでした（音の大きさ 199・200未満は無音とみなす）→ 認識にかけません")));
        QCOMPARE(fakes->overlay->last(), QStringLiteral("flash:何も聞こえませんでした@2"));
        app->pipelineQueue().drain();
        QVERIFY(fakes->server->seen().isEmpty());

        fakes->recorder->loudness = 200;
        fakes->server->replies << QStringLiteral("はい");
        startByDoubleTap();
        stopAndSettle();
        QCOMPARE(fakes->server->seen(), QStringList{QStringLiteral("transcribe:%1").arg(44 + 32000)});
        QCOMPARE(fakes->paster->pasted, QStringList{QStringLiteral("はい")});
    }

    void deliveryPastesStoresAndConfirms()
    {
        fakes->server->replies << QStringLiteral(" 今日は晴れです👍🏽\n");
        startByDoubleTap();
        stopAndSettle();
        QCOMPARE(fakes->paster->pasted, QStringList{QStringLiteral("今日は晴れです👍🏽")});
        QCOMPARE(app->history().entries().size(), 1);
        const HistoryEntry& e = app->history().entries().first();
        QCOMPARE(e.raw, QStringLiteral(" 今日は晴れです👍🏽\n"));
        QCOMPARE(e.text, QStringLiteral("今日は晴れです👍🏽"));
        QCOMPARE(e.mode, QStringLiteral("文字起こし"));
        QCOMPARE(fakes->sounds->played, (QStringList{QStringLiteral("Pop"), QStringLiteral("Bottle"), QStringLiteral("Glass")}));
        QCOMPARE(fakes->overlay->last(), QStringLiteral("flash:✓ 貼り付けました@1.2"));
        QCOMPARE(fakes->statusIcon->current(), QStringLiteral("🎙️"));
        // Counted as a person counts: the emoji with its skin tone is one character.
        QVERIFY(logContains(QStringLiteral("貼り付けます（8字）")));
    }

    void failedRecognitionNeverLeavesProcessing()
    {
        // No reply at all, and a reply that cleans to nothing.
        fakes->server->replies << std::nullopt << QStringLiteral(" \n\t ");
        startByDoubleTap();
        stopAndSettle();
        QCOMPARE(fakes->overlay->last(), QStringLiteral("flash:聞き取れませんでした@2"));
        startByDoubleTap();
        stopAndSettle();
        QCOMPARE(fakes->overlay->last(), QStringLiteral("flash:聞き取れませんでした@2"));
        QVERIFY(fakes->paster->pasted.isEmpty());
        QVERIFY(app->history().entries().isEmpty());
        QCOMPARE(fakes->statusIcon->current(), QStringLiteral("🎙️"));
    }

    void dictionaryRewritesTheCleanedText()
    {
        data->writeText(QStringLiteral("dictionary.txt"), QStringLiteral("ふかんず=俯瞰図\nきょう=京\nきょうと=京都\n"));
        fakes->server->replies << QStringLiteral(" ふかんずを見て、ふかんずを直す。きょうとに行く\n");
        startByDoubleTap();
        stopAndSettle();
        QCOMPARE(fakes->paster->pasted, QStringList{QStringLiteral("俯瞰図を見て、俯瞰図を直す。京都に行く")});
        QCOMPARE(app->history().entries().first().raw, QStringLiteral(" ふかんずを見て、ふかんずを直す。きょうとに行く\n"));
    }

    void failedLongRecordingIsRescued()
    {
        // 30 s of audio: long enough to keep when recognition gives nothing.
        fakes->recorder->wavToReturn = QByteArray(44 + 30 * 32000, '\2');
        fakes->server->replies << std::nullopt << QString();
        startByDoubleTap();
        stopAndSettle();
        QCOMPARE(fakes->overlay->last(), QStringLiteral("flash:文字にできませんでした（録音は残しました）@3"));
        const QStringList kept = QDir(録音の救出::フォルダ()).entryList({QStringLiteral("*.wav")}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        QVERIFY(logContains(QStringLiteral("文字起こしに失敗。録音を残しました: ") + kept.first()));
        // An empty reply counts as a failure too.
        startByDoubleTap();
        stopAndSettle();
        QCOMPARE(QDir(録音の救出::フォルダ()).entryList({QStringLiteral("*.wav")}, QDir::Files).size(), 2);
        QVERIFY(app->history().entries().isEmpty());
    }

    void unwritableDataFolderStillDictates()
    {
        app.reset();
        delete fakes;
        data = std::make_unique<TestDataFolder>();
        QDir().mkpath(QFileInfo(data->path()).path());
        QFile blocker(data->path());  // a file where the folder should be
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        Config::bootstrap();
        make();
        fakes->server->replies << QStringLiteral("書けなくても貼れる");
        startByDoubleTap();
        stopAndSettle();
        QCOMPARE(fakes->paster->pasted, QStringList{QStringLiteral("書けなくても貼れる")});
        QCOMPARE(app->history().entries().size(), 1);
    }

    void recorderThatCannotStart()
    {
        fakes->recorder->failWith = RecError::noInput;
        app->optionTapped(1);
        app->optionTapped(1.2);
        QCOMPARE(app->phase(), Phase::idle);
        QCOMPARE(fakes->overlay->last(),
                 QStringLiteral("flash:録音を開始できません: マイク入力を開けませんでした（マイク許可を確認してください）@4"));
        QVERIFY(fakes->sounds->played.isEmpty());
        QVERIFY(!app->recordingLimitArmed());
    }

    void recordingLimitStopsByItself()
    {
        app.reset();
        delete fakes;
        AppTiming timing;
        timing.recordingLimit = 1.0;
        make(timing);
        fakes->server->replies << QStringLiteral("上限");
        startByDoubleTap();
        QTRY_COMPARE_WITH_TIMEOUT(app->phase(), Phase::processing, 3000);
        QVERIFY(logContains(QStringLiteral("録音の上限（1秒）に達したので自動的に終わります")));
        QTRY_COMPARE(app->phase(), Phase::idle);
        QCOMPARE(fakes->paster->pasted, QStringList{QStringLiteral("上限")});
    }

    void labelsOfTheRecordingBar()
    {
        // No frontmost application and the default microphone.
        startByDoubleTap();
        QCOMPARE(fakes->overlay->events.last(), QStringLiteral("bar:アプリ|VirtualMic"));
        app->escPressed();

        // A named application; the default microphone replaced after a failure.
        FrontmostAppInfo editor;
        editor.pid = 42;
        editor.name = QStringLiteral("テキストエディター");
        fakes->frontmost->app = editor;
        fakes->recorder->fellBack = true;
        startByDoubleTap();
        QCOMPARE(fakes->overlay->events.last(), QStringLiteral("bar:テキストエディター|⚠ VirtualMic"));
        app->escPressed();

        // A chosen microphone that is present, then one that is gone.
        fakes->recorder->fellBack = false;
        fakes->audioInputs->devices = {{QStringLiteral("usb-1"), QStringLiteral("USB マイク")}};
        Config::edit([](ConfigData& c) { c.micDeviceUID = QStringLiteral("usb-1"); });
        startByDoubleTap();
        QCOMPARE(fakes->overlay->events.last(), QStringLiteral("bar:テキストエディター|USB マイク"));
        app->escPressed();
        Config::edit([](ConfigData& c) { c.micDeviceUID = QStringLiteral("gone"); });
        startByDoubleTap();
        QCOMPARE(fakes->overlay->events.last(), QStringLiteral("bar:テキストエディター|VirtualMic"));
        app->escPressed();

        // No input device at all.
        fakes->audioInputs->defaultDevice.reset();
        Config::edit([](ConfigData& c) { c.micDeviceUID.clear(); });
        startByDoubleTap();
        QCOMPARE(fakes->overlay->events.last(), QStringLiteral("bar:テキストエディター|マイク"));
        app->escPressed();
    }
};

QTEST_MAIN(ControllerTest)
#include "tst_controller.moc"
