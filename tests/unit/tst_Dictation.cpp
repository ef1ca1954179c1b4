// The dictation path on recording fakes: start-up and lifecycle through
// AppDelegate and AppState, the dictation controller, the trigger-key rules on
// a scripted clock, pasting through the clipboard, and the recorder's logic on
// scripted engines.
#include "FakeCaptureBackend.h"
#include "FakeKeySource.h"
#include "Fakes.h"
#include "LogFile.h"
#include "TestDataFolder.h"

#include "app/AppDelegate.h"
#include "app/AppState.h"
#include "audio/AudioRecorder.h"
#include "desktop/HotkeyManager.h"
#include "desktop/Paster.h"
#include "desktop/TriggerKey.h"
#include "platform/linux/x11/X11InjectedKeys.h"
#include "provision/UpdateNotice.h"
#include "store/Config.h"
#include "store/Log.h"
#include "store/RecordingRescue.h"
#include "ui/AboutWindow.h"
#include "ui/FirstRunWindow.h"
#include "ui/MainMenu.h"
#include "ui/SettingsWindow.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QtTest>

#include <sys/stat.h>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

const QString readyMessage = QStringLiteral("flash:サイリ 準備OK。Altキーを2回押すと録音が始まります@4");

struct Step {
    double t;
    char kind;  // 'f' modifier flags changed, 'k' key down
    std::int64_t code;
    std::uint64_t flags;
};

using Steps = QList<Step>;
using Times = QList<double>;
constexpr std::uint64_t opt = 0x80000, ctrl = 0x40000;

// A trigger-key manager on a scripted key source and clock.
struct KeyRig {
    explicit KeyRig(const QString& trigger = QStringLiteral("option"))
    {
        auto owned = std::make_unique<FakeKeySource>();
        source = owned.get();
        manager = std::make_unique<HotkeyManager>(std::move(owned), TriggerKey::find(trigger), [this] { return now; });
        manager->onTap = [this](double t) { taps.append(t); };
        manager->onEsc = [this] { ++escapes; };
        manager->start();
    }
    void play(const Steps& steps)
    {
        for (const Step& s : steps) {
            now = s.t;
            source->send(s.kind == 'f' ? KeyEventType::flagsChanged : KeyEventType::keyDown, s.code, s.flags);
        }
    }

    double now = 100;
    FakeKeySource* source = nullptr;
    std::unique_ptr<HotkeyManager> manager;
    Times taps;
    int escapes = 0;
};

// A paster with a scripted frontmost application and a recording keystroke sender.
struct PasteRig {
    explicit PasteRig(std::optional<FrontmostAppInfo> app = std::nullopt)
    {
        auto frontmost = std::make_unique<FakeFrontmost>();
        frontmost->app = std::move(app);
        keys = std::make_shared<FakeKeySynthesizer>();
        paster = std::make_unique<Paster>(std::move(frontmost), keys);
    }
    std::shared_ptr<FakeKeySynthesizer> keys;
    std::unique_ptr<Paster> paster;
};

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

Q_DECLARE_METATYPE(Steps)

class TestDictation : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data;
    FakeServices* fakes = nullptr;  // deleted after what took them
    std::unique_ptr<AppState> app;
    QList<QUrl> openedPages;
    FakeCaptureBackend* world = nullptr;
    std::unique_ptr<AudioRecorder> recorder;

    // The controller on the fakes, the default microphone a virtual one.
    void makeApp(AppTiming timing = {})
    {
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

    // A recorder whose engines, one per attempt, follow `scripts`.
    void makeRecorder(QList<Script> scripts)
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

public Q_SLOTS:
    // The desktop's handler of web addresses, while a test installs it.
    void openPage(const QUrl& url) { openedPages << url; }

private Q_SLOTS:
    void init()
    {
        data = std::make_unique<TestDataFolder>();
        Config::bootstrap();
        fakes = new FakeServices;
    }
    void cleanup()
    {
        app.reset();
        recorder.reset();
        delete fakes;
        fakes = nullptr;
        data.reset();
    }

    void launches_data()
    {
        QTest::addColumn<bool>("loginItem");
        QTest::addColumn<QString>("page");  // what ".openpage" holds; none when null
        QTest::addColumn<QString>("opened");
        QTest::newRow("ordinary: the settings window") << false << QString() << "about 0, captures 0, settings 1 ()";
        QTest::newRow("login item: no window") << true << QString() << "about 0, captures 0, settings 0 ()";
        QTest::newRow("credits with blanks") << false << "  \t credits\n\n"
                                             << "about 1, captures 0, settings 0 ()";
        QTest::newRow("any other page, trimmed") << false << "\u3000dictionary \r\n"
                                                 << "about 0, captures 0, settings 1 (dictionary)";
        QTest::newRow("context probe") << false << "contextprobe\n"
                                       << "about 0, captures 1, settings 0 ()";
    }

    // A page asked for in ".openpage" (read and removed at launch) opens
    // instead of the ordinary settings window; the server starts and stops
    // with Sayri (the log and the marker: tst_Desktop).
    void launches()
    {
        QFETCH(bool, loginItem);
        QFETCH(QString, page);
        QFETCH(QString, opened);
        if (!page.isNull())
            data->writeText(QStringLiteral(".openpage"), page);
        AppDelegate delegate(loginItem ? QStringList{QStringLiteral("sayri"), QStringLiteral("--login-item")}
                                       : QStringList{QStringLiteral("sayri")});
        delegate.applicationDidFinishLaunching(fakes->take());
        QVERIFY(!QFileInfo::exists(data->file(QStringLiteral(".openpage"))));
        QCOMPARE(fakes->statusIcon->current(), QStringLiteral("🎙️"));
        QCOMPARE(fakes->hotkeys->startCalls, 1);
        QCOMPARE(fakes->hotkeys->trigger, QStringLiteral("option"));
        const auto state = [this] {
            return QStringLiteral("about %1, captures %2, settings %3 (%4)")
                .arg(fakes->about.fronts)
                .arg(fakes->screen->captures)
                .arg(fakes->settings.shown.size())
                .arg(fakes->settings.shown.join(u','));
        };
        QTRY_COMPARE_WITH_TIMEOUT(state(), opened, 3000);
        QTRY_VERIFY(fakes->overlay->events.contains(readyMessage));
        QTest::qWait(600);
        QCOMPARE(state(), opened);
        QCOMPARE(fakes->overlay->events.size(), 1);
        QCOMPARE(fakes->server->seen(), (QStringList{QStringLiteral("start:"), QStringLiteral("wait:20")}));
        QCOMPARE(fakes->settings.refreshes, 1);  // the update check's completion

        delegate.applicationWillTerminate();
        QCOMPARE(fakes->server->seen().last(), QStringLiteral("stop"));
    }

    // Someone dictating before the server is up keeps the recording bar.
    void readyNoticeLeavesARecordingAlone()
    {
        AppDelegate delegate({QStringLiteral("sayri"), QStringLiteral("--login-item")});
        delegate.applicationDidFinishLaunching(fakes->take());
        delegate.appState()->optionTapped(1);
        QVERIFY(!fakes->hotkeys->tapEndsDictation());
        delegate.appState()->optionTapped(1.1);
        QCOMPARE(delegate.appState()->phase(), Phase::recording);
        QVERIFY(fakes->hotkeys->tapEndsDictation());  // its press is hidden from the window
        QTRY_COMPARE(fakes->server->seen().size(), 2);
        QTest::qWait(100);
        QVERIFY(!fakes->overlay->events.contains(readyMessage));

        // A second launch honours a waiting request too.
        data->writeText(QStringLiteral(".openpage"), QStringLiteral("history\n"));
        delegate.applicationShouldHandleReopen();
        delegate.applicationShouldHandleReopen();
        QCOMPARE(fakes->settings.shown, (QStringList{QStringLiteral("history"), QString()}));
    }

    // The first-run window holds back the server and asks for access itself.
    void firstRunHoldsBackTheServer()
    {
        fakes->firstRun->needed = true;
        fakes->keyboardAccess->isTrusted = false;
        AppDelegate delegate({QStringLiteral("sayri")});
        delegate.applicationDidFinishLaunching(fakes->take());
        QCOMPARE(fakes->firstRun->begins, 1);
        QTest::qWait(700);
        QVERIFY(fakes->settings.shown.isEmpty());
        QVERIFY(fakes->server->seen().isEmpty());
        QVERIFY(fakes->overlay->events.isEmpty());
        QVERIFY(delegate.appState()->axPollRunning());

        fakes->firstRun->onFinished();
        QTRY_VERIFY(fakes->overlay->events.contains(readyMessage));
        QCOMPARE(fakes->server->seen().first(), QStringLiteral("start:"));
    }

    // A pipe put there is no request: reading it would hold up the launch.
    void pageRequestFromAPipeIsIgnored()
    {
        QCOMPARE(mkfifo(QFile::encodeName(data->file(QStringLiteral(".openpage"))).constData(), 0600), 0);
        QCOMPARE(AppDelegate::takePageRequest(), std::nullopt);
    }

    // A changed dictionary restarts the server once, at an idle tick of the
    // periodic check, which runs by itself; a missing one never. One saved
    // while the server starts is applied by the first check.
    void periodicCheckRestartsOncePerChange()
    {
        QFile dictionary(data->file(QStringLiteral("dictionary.txt")));
        const auto touch = [&dictionary](int minutes) {
            QVERIFY(dictionary.open(QIODevice::ReadWrite));
            QVERIFY(dictionary.setFileTime(QDateTime::currentDateTime().addSecs(60 * minutes),
                                           QFileDevice::FileModificationTime));
            dictionary.close();
        };
        fakes->server->onStart = [touch] { touch(1); };
        AppTiming timing;
        timing.periodicCheckInterval = 0.05;
        app = std::make_unique<AppState>(fakes->take(), timing);
        app->startUp();
        const auto check = [this] {
            app->periodicCheck();
            app->pipelineQueue().drain();
        };
        app->pipelineQueue().drain();
        QStringList afterStart = fakes->server->seen();
        check();
        QCOMPARE(fakes->server->seen(), afterStart << QStringLiteral("restart:"));

        touch(2);
        startByDoubleTap();
        check();
        QTest::qWait(200);
        QCOMPARE(fakes->server->seen(), afterStart);
        app->escPressed();

        QTRY_COMPARE(fakes->server->seen(), afterStart + QStringList{QStringLiteral("restart:")});
        check();
        dictionary.remove();
        QTest::qWait(200);
        check();
        QCOMPARE(fakes->server->seen().count(QStringLiteral("restart:")), 2);
    }

    // What the tray icon and its menu, the overlay's buttons, the settings
    // window and the window shortcuts ask for reaches its handler.
    void viewRequestsReachTheirHandlers()
    {
        fakes->audioInputs->devices = {{QStringLiteral("usb-1"), QStringLiteral("山田のマイク")}};
        app = std::make_unique<AppState>(fakes->take());
        app->startUp();
        UpdateNotice::testing::reset(QStringLiteral("https://sayri.example"), QStringLiteral("5"));
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openPage");
        QMenu menu;
        Q_EMIT fakes->statusIcon->menuAboutToShow(&menu);
        QWidget window;  // with the window shortcuts
        MainMenu::attachTo(&window);
        const QStringList chosen{QStringLiteral("設定を開く…"), QStringLiteral("サイリについて"),
                                 QStringLiteral("設定…"), QStringLiteral("サイリ について"),
                                 QStringLiteral("アップデートを確認…")};
        for (QAction* a : menu.actions() + window.actions())
            if (chosen.contains(a->text()))
                a->trigger();
        Q_EMIT fakes->settings.updateCheckRequested();
        Q_EMIT fakes->overlay->updateClicked();
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(openedPages, QList<QUrl>(4, QUrl(QStringLiteral("https://sayri.example/"))));
        QTRY_COMPARE(fakes->settings.shown, QStringList(2, QString()));
        QCOMPARE(fakes->about.shows, 2);

        Q_EMIT fakes->settings.triggerKeyChosen(QStringLiteral("rightShift"));
        QCOMPARE(fakes->hotkeys->trigger, QStringLiteral("rightShift"));
        // The microphone: stored, told by name, logged only masked, warmed up.
        Q_EMIT fakes->settings.micChosen(QStringLiteral("usb-1"));
        app->pipelineQueue().drain();
        QVERIFY(data->readText(QStringLiteral("config.json")).contains(QStringLiteral("\"micDeviceUID\": \"usb-1\"")));
        QCOMPARE(fakes->overlay->last(), QStringLiteral("flash:マイク: 山田のマイク（次の録音から使います）@2.5"));
        QVERIFY(!logMessages().join(u'\n').contains(QStringLiteral("山田")));
        app->micChanged(QStringLiteral("unplugged"));
        QCOMPARE(fakes->overlay->last(), QStringLiteral("flash:マイク: 選んだマイク（次の録音から使います）@2.5"));
        app->micChanged(QString());
        app->pipelineQueue().drain();
        QCOMPARE(fakes->overlay->last(),
                 QStringLiteral("flash:マイク: パソコンと同じ（自動）（次の録音から使います）@2.5"));
        QCOMPARE(fakes->warmUps, (QStringList{QStringLiteral("usb-1"), QStringLiteral("unplugged")}));
        Q_EMIT fakes->settings.screenHintChanged();
        QCOMPARE(fakes->screen->prepares, 1);
        QVERIFY(fakes->settings.loginItem == fakes->loginItem && fakes->settings.audioInputs);

        startByDoubleTap();
        Q_EMIT fakes->overlay->cancelClicked();
        QCOMPARE(app->phase(), Phase::idle);
        startByDoubleTap();
        Q_EMIT fakes->overlay->stopClicked();
        QCOMPARE(app->phase(), Phase::processing);
    }

    // What a Linux user reads, as composed through the platform words: the
    // trigger-key rows, the start-up messages, the tray menu, every setup
    // step, About and the log never name a Mac, its keys or its settings.
    void linuxWordsInEveryText()
    {
        QStringList texts;
        for (const TriggerKey& key : TriggerKey::all())
            texts << key.label;
        // Keyboard access arriving later starts the trigger key once.
        fakes->keyboardAccess->isTrusted = false;
        AppState app(fakes->take(), AppTiming{.axPollInterval = 0.05});
        app.startUp();
        QCOMPARE(fakes->overlay->events.first(),
                 QStringLiteral("flash:Alt×2 と自動貼り付けには、いまのところ X11 "
                                "のセッションが必要です（ログイン画面のセッションの選択で選べます）@8"));
        QTest::qWait(200);
        QCOMPARE(fakes->hotkeys->startCalls, 0);
        fakes->keyboardAccess->isTrusted = true;
        QMenu menu;
        app.menuNeedsUpdate(&menu);
        for (QAction* action : menu.actions())
            texts << action->text();
        QTRY_VERIFY(!app.axPollRunning() && fakes->overlay->events.contains(readyMessage));
        QVERIFY(fakes->overlay->events.contains(QStringLiteral("flash:準備OK。Altキーを2回押すと録音が始まります@4")));
        QCOMPARE(fakes->hotkeys->startCalls, 1);
        const auto shown = [&texts](QWidget* window) {
            texts << window->windowTitle();
            for (auto* label : window->findChildren<QLabel*>())
                texts << label->text();
            for (auto* button : window->findChildren<QAbstractButton*>())
                texts << button->text();
            for (auto* box : window->findChildren<QComboBox*>())
                for (int i = 0; i < box->count(); ++i)
                    texts << box->itemText(i);
        };
        AboutWindow::shared().show();
        shown(AboutWindow::shared().window());
        SettingsWindow settings;
        settings.build();
        for (const SettingsPage page :
             {SettingsPage::general, SettingsPage::dictionary, SettingsPage::history, SettingsPage::about}) {
            settings.switchPage(page);
            shown(settings.window());
        }
        for (const bool trusted : {false, true}) {
            FakeKeyboardAccess keys;
            keys.isTrusted = trusted;
            FirstRunWindow setup(keys, *fakes->sounds, true);
            setup.buildWindow();
            for (const FirstRunStep step : setup.全ステップ()) {
                setup.show(step);
                shown(setup.window());
            }
        }
        static const QRegularExpression macWords(QStringLiteral("Mac|Option|Command|Control|fn（|システム設定"));
        for (const QString& text : texts + fakes->overlay->events + logMessages())
            QVERIFY2(!macWords.match(text).hasMatch(), qPrintable(text));
    }

    // Taps arm, start and stop; the reply is cleaned, rewritten by the
    // dictionary (every occurrence, longest reading first), pasted, stored
    // with the raw reply, confirmed.
    void fromTapsToPaste()
    {
        makeApp();
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

        // No keystroke can reach the window: stored, no paste is claimed, and
        // the user is told the keys that paste there.
        const QList<std::pair<std::optional<PasteKeystroke>, QString>> byHand{
            {PasteKeystroke::controlShiftV, u"Ctrl+Shift+V で貼り付けてください@4"_s},
            {PasteKeystroke::controlV, u"Ctrl+V で貼り付けてください@4"_s},
            {std::nullopt, u"自動では貼り付けられませんでした（文字はクリップボードにあります）@3"_s},
        };
        for (const auto& [keystroke, message] : byHand) {
            fakes->paster->outcome = {false, keystroke};
            fakes->server->replies << QStringLiteral("手で貼る");
            startByDoubleTap();
            stopAndSettle();
            QCOMPARE(fakes->overlay->last(), u"flash:"_s + message);
        }
        QCOMPARE(app->history().entries().size(), 4);

        // A history that cannot be written is said after the paste, and logged.
        fakes->paster->outcome = {true, std::nullopt};
        QVERIFY(QFile::remove(data->file(u"history.json"_s)) && QDir().mkpath(data->file(u"history.json/in-the-way"_s)));
        fakes->server->replies << QStringLiteral("残らない文");
        startByDoubleTap();
        stopAndSettle();
        QCOMPARE(fakes->overlay->last(), u"flash:✓ 貼り付けました（履歴には保存できませんでした）@3"_s);
        QCOMPARE(logMessages().filter(u"履歴ファイル history.json を保存できませんでした: "_s).size(), 1);
        QCOMPARE(app->history().entries().size(), 5);
    }

    void cancelInEveryPhase()
    {
        makeApp();
        app->escPressed();  // idle: nothing, no message
        app->stopAndProcess();
        QVERIFY(fakes->overlay->events.isEmpty());

        startByDoubleTap();
        app->escPressed();
        QCOMPARE(app->phase(), Phase::idle);
        QCOMPARE(fakes->recorder->cancels, 1);
        QCOMPARE(fakes->overlay->last(), QStringLiteral("flash:取り消しました@1.2"));
        QVERIFY(!app->recordingLimitArmed());
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
        makeApp();
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

    // A microphone that goes away while recording ends the recording: what
    // it heard is still processed, and the user is told why it stopped.
    void microphoneLostWhileRecording()
    {
        makeRecorder({sounding()});
        int lost = 0;
        recorder->onDeviceLost = [&lost] { ++lost; };
        QVERIFY(!startError());
        world->engines.last()->lost(QStringLiteral("抜かれました"));
        QCOMPARE(logMessages().last(), QStringLiteral("録音中にマイクが使えなくなりました（%1・抜かれました）")
                                           .arg(Log::伏せた機器名(QStringLiteral("パソコンと同じ"))));
        QTRY_COMPARE(lost, 1);

        makeApp();
        fakes->server->replies << QStringLiteral("こんにちは") << QStringLiteral("またね");
        for (const double loudness : {0.0, 1000.0}) {
            fakes->recorder->loudness = loudness;
            startByDoubleTap();
            fakes->recorder->onDeviceLost();
            QCOMPARE(app->phase(), Phase::processing);
            QTRY_COMPARE(app->phase(), Phase::idle);
        }
        QCOMPARE(fakes->paster->pasted, QStringList{QStringLiteral("こんにちは")});
        QCOMPARE(fakes->overlay->events.filter(QStringLiteral("flash:")),
                 (QStringList{QStringLiteral("flash:マイクが使えなくなったため、録音を止めました@4"),
                              QStringLiteral("flash:マイクが使えなくなったため、そこまでを貼り付けました@3")}));
        fakes->recorder->onDeviceLost();  // idle: nothing
        QCOMPARE(fakes->recorder->collects, 2);
        startByDoubleTap();  // the next recording ends as usual
        stopAndSettle();
        QCOMPARE(fakes->overlay->last(), QStringLiteral("flash:✓ 貼り付けました@1.2"));
    }

    // The bar names the application and the microphone; a recording left
    // alone ends at the limit.
    void recordingBarAndLimit()
    {
        AppTiming timing;
        timing.recordingLimit = 1.0;
        makeApp(timing);
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

    void gestures_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<Times>("taps");

        QTest::newRow("two taps, each at its release")
            << "option" << Steps{{0, 'f', 58, opt}, {0.1, 'f', 58, 0}, {0.3, 'f', 58, opt}, {0.4, 'f', 58, 0}}
            << Times{0.1, 0.4};
        QTest::newRow("held exactly 0.5 s") << "option" << Steps{{0, 'f', 58, opt}, {0.5, 'f', 58, 0}} << Times{};
        QTest::newRow("both Option keys: one tap at the final release")
            << "option" << Steps{{0, 'f', 58, opt}, {0.1, 'f', 61, opt}, {0.2, 'f', 61, opt}, {0.3, 'f', 58, 0}}
            << Times{0.3};
        QTest::newRow("both Option keys, final release too late")
            << "option" << Steps{{0, 'f', 58, opt}, {0.1, 'f', 61, opt}, {0.2, 'f', 58, opt}, {0.55, 'f', 61, 0}}
            << Times{};
        QTest::newRow("Ctrl, whose flag is an other-modifier bit")
            << "control" << Steps{{0, 'f', 62, ctrl}, {0.2, 'f', 62, 0}} << Times{0.2};
        QTest::newRow("release without a press") << "option" << Steps{{0, 'f', 58, 0}} << Times{};
        QTest::newRow("a spoilt gesture does not spoil the next")
            << "option"
            << Steps{{0, 'f', 58, opt}, {0.1, 'k', 8, opt}, {0.2, 'f', 58, 0}, {1, 'f', 58, opt}, {1.2, 'f', 58, 0}}
            << Times{1.2};
    }

    void gestures()
    {
        QFETCH(QString, trigger);
        QFETCH(Steps, steps);
        QFETCH(Times, taps);
        KeyRig rig(trigger);
        QVERIFY(logMessages().contains(QStringLiteral("キー監視を開始")));
        rig.play(steps);
        QCoreApplication::processEvents();
        QCOMPARE(rig.taps, taps);
    }

    void callbacksAreQueuedToTheMainThread()
    {
        KeyRig rig;
        rig.play({{0, 'f', 58, opt}, {0.1, 'f', 58, 0}, {0.2, 'k', 53, 0}});
        QVERIFY(rig.taps.isEmpty());
        QCOMPARE(rig.escapes, 0);
        QTRY_COMPARE(rig.taps, Times{0.1});
        QTRY_COMPARE(rig.escapes, 1);

        // Only the press of the trigger key alone that would end a dictation
        // is followed by an inert key; other lone taps reach everyone as they are.
        auto keys = std::make_shared<FakeKeySynthesizer>();
        rig.manager->maskLonePresses(keys);
        bool ending = false;
        rig.manager->tapEndsDictation = [&ending] { return ending; };
        rig.play({{0.5, 'f', 58, opt}, {0.6, 'f', 58, 0}});
        QCOMPARE(keys->inertKeys, 0);
        ending = true;
        rig.play({{1, 'f', 58, opt},
                  {1.1, 'f', 61, opt},
                  {1.2, 'f', 61, opt},
                  {1.3, 'f', 58, 0},
                  {2, 'f', 59, ctrl},
                  {2.1, 'f', 58, ctrl | opt},
                  {2.2, 'f', 58, ctrl},
                  {2.3, 'f', 59, 0}});
        QCOMPARE(keys->inertKeys, 1);
        QTRY_COMPARE(rig.taps, (Times{0.1, 0.6, 1.3}));

        // A report still queued when the manager goes is delivered without it.
        rig.play({{3, 'f', 58, opt}, {3.1, 'f', 58, 0}});
        rig.manager.reset();
        QTRY_COMPARE(rig.taps.size(), 4);
    }

    // The settings window's choice while the old key is held: saved, switched
    // (the held press forgotten), told on the bar. An id the
    // table does not offer (another platform's, none, a foreign one) is stored
    // as given; the key in use and the texts are the first row's.
    void applyTriggerKey()
    {
        // The last case: settings that cannot be written. The key is in effect
        // for this run, and the bar says the next start will not keep it.
        const QString config = data->file(u"config.json"_s);
        for (const auto& [id, active, writable] : {std::tuple{u"rightShift"_s, u"rightShift"_s, true},
                                                   {u"fn"_s, u"option"_s, true},
                                                   {QString(), u"option"_s, true},
                                                   {u"capsLock"_s, u"option"_s, true},
                                                   {u"rightShift"_s, u"rightShift"_s, false}}) {
            if (!writable)
                QVERIFY(QFile::remove(config) && QDir().mkpath(config + u"/in-the-way"_s));
            const QString label = TriggerKey::find(active).label;
            KeyRig rig(QStringLiteral("control"));
            auto* bar = new FakeOverlay;
            AppServices services;
            services.overlay.reset(bar);
            services.hotkeys = std::move(rig.manager);
            auto* hotkeys = static_cast<HotkeyManager*>(services.hotkeys.get());
            AppState state(std::move(services));

            rig.play({{0, 'f', 59, ctrl}});
            state.applyTriggerKey(id);

            QCOMPARE(hotkeys->trigger().id, active);
            QVERIFY(!writable
                    || data->readText(u"config.json"_s).contains(u"\"triggerKeyId\": \"%1\""_s.arg(id)));
            QCOMPARE(bar->events, QStringList{u"flash:録音キーを「%1」にしました（2回押しで開始）"_s.arg(label)
                                              + (writable ? u"@2.5"_s
                                                          : u"。ただし設定を保存できなかったため、次の起動では元に"
                                                            u"戻ります@4"_s)});

            const TriggerKey key = TriggerKey::find(active);
            rig.play(
                {{1, 'f', 59, 0}, {1.1, 'f', key.keyCodes.front(), key.flag}, {1.2, 'f', key.keyCodes.front(), 0}});
            QTRY_COMPARE(rig.taps, Times{1.2});
        }
        QCOMPARE(logMessages().filter(u"設定ファイルを保存できませんでした: "_s).size(), 1);
    }

    void theTextAloneGoesOnTheClipboardBeforeTheKeystroke()
    {
        auto* before = new QMimeData;
        before->setHtml(QStringLiteral("<b>old</b>"));
        before->setData(QStringLiteral("image/png"), QByteArray("png"));
        QGuiApplication::clipboard()->setMimeData(before);

        PasteRig rig;
        const QString text = QStringLiteral("今日は晴れです。🌤\n二行目");
        QVERIFY(rig.paster->paste(text).sent);
        const QMimeData* now = QGuiApplication::clipboard()->mimeData();
        QVERIFY(now);
        QCOMPARE(now->formats(), QStringList{QStringLiteral("text/plain")});
        QCOMPARE(now->text(), text);
        QVERIFY(rig.keys->sent.isEmpty());  // not before the pause
        QTRY_COMPARE(rig.keys->sent, QList<PasteKeystroke>{PasteKeystroke::controlV});
        QTest::qWait(50);
        QCOMPARE(QGuiApplication::clipboard()->text(), text);  // nothing put back afterwards

        // No keystroke can be sent, or the paster goes before it: nothing is
        // sent and the text stays on the clipboard.
        rig.keys->sendable = false;
        const PasteOutcome byHand = rig.paster->paste(QStringLiteral("手で貼る"));
        QVERIFY(!byHand.sent);
        QCOMPARE(byHand.byHand, PasteKeystroke::controlV);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("手で貼る"));
        PasteRig gone;
        QVERIFY(gone.paster->paste(QStringLiteral("残る")).sent);
        gone.paster.reset();
        QTest::qWait(Paster::pauseMs + 100);
        QCOMPARE(rig.keys->sent.size(), 1);
        QVERIFY(gone.keys->sent.isEmpty());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("残る"));
    }

    void theKeystrokeThatPastesThere()
    {
        const auto controlV = PasteKeystroke::controlV, shiftV = PasteKeystroke::controlShiftV,
                   insert = PasteKeystroke::shiftInsert, edit = PasteKeystroke::editThenControlV;
        // Window class, instance, the categories of its desktop entry; "" for no focused window; the text.
        const QList<std::tuple<QString, QString, QString, PasteKeystroke, QString>> cases{
            {"libreoffice-calc", "libreoffice", "Office;Spreadsheet", edit, "一行目\n二行目"},  // not its import dialog
            {"libreoffice-calc", "libreoffice", "Office;Spreadsheet", controlV, "一行"},
            {"Sakura", "sakura", "GTK;System;TerminalEmulator", shiftV, "a\nb"},  // a terminal by its desktop entry
            {"konsole", "konsole", "Qt;KDE;System;TerminalEmulator", shiftV, "a\nb"},
            {"XTerm", "xterm", "System;TerminalEmulator", insert, "a\nb"},  // xterm: the primary selection
            {"Urxvt-tabbed", "urxvt", "", insert, "a\nb"},                  // urxvt, by instance
            {"Emacs", "emacs", "Development;TextEditor", insert, "a\nb"},   // C-v scrolls
            {"Gvim", "gvim", "Utility;TextEditor", insert, "a\nb"},         // C-v starts a block selection
            {"Alacritty", "Alacritty", "", shiftV, "a\nb"},                 // listed, without an entry
            {"Kitty", "kitty", "Graphics", controlV, "a\nb"},               // listed, whose entry is no terminal
            {"Gedit", "gedit", "GTK;Utility;TextEditor", controlV, "a\nb"},
            {"Xterm-notes", "xterm-notes", "", controlV, "a\nb"},  // only contains a terminal's name
            {"", "", "", controlV, "一行"},
        };
        for (const auto& [windowClass, instance, categories, keystroke, text] : cases) {
            std::optional<FrontmostAppInfo> app;
            if (!windowClass.isEmpty())
                app = FrontmostAppInfo{42, {}, windowClass, instance, categories.split(u';', Qt::SkipEmptyParts)};
            QCOMPARE(Paster::keystrokeFor(app, text), keystroke);
        }
        // Where the desktop has no primary selection, a window that pastes
        // only that gets no keystroke (it would paste an older selection).
        QVERIFY(!QGuiApplication::clipboard()->supportsSelection());
        PasteRig rig(FrontmostAppInfo{42, {}, u"XTerm"_s, u"xterm"_s, {}});
        const PasteOutcome noSelection = rig.paster->paste(u"ls"_s);
        QVERIFY(!noSelection.sent);
        QVERIFY(!noSelection.byHand);  // Shift+Insert would paste another text
        QCOMPARE(QGuiApplication::clipboard()->text(), u"ls"_s);
        QTest::qWait(Paster::pauseMs + 50);
        QVERIFY(rig.keys->sent.isEmpty());
    }

    // Each announced key is taken out once, in order: keys announced before
    // the one that came back were dropped on the way.
    void injectedKeysAreTakenOutOnce()
    {
        X11InjectedKeys::expect(37, true);
        X11InjectedKeys::expect(55, true);
        X11InjectedKeys::expect(55, false);
        QVERIFY(X11InjectedKeys::consume(55, true));
        QVERIFY(!X11InjectedKeys::consume(37, true));
        QVERIFY(!X11InjectedKeys::consume(55, true));
        QVERIFY(X11InjectedKeys::consume(55, false));
        QVERIFY(!X11InjectedKeys::consume(55, false));
    }

    void wavHeader()
    {
        // "RIFF" size "WAVEfmt " 16 PCM channels rate byte-rate align 16-bit "data" size, then the samples
        QCOMPARE(AudioRecorder::wav(QByteArray(7, '\7'), 44100, 2).toHex(),
                 QByteArray("524946462b00000057415645666d7420100000000100020044ac000010b10200040010006461746107000000"
                            "07070707070707"));
    }

    void retriesHoldTheSilentEngineUntilTheNextDelivers()
    {
        Script tapRefused = sounding(format(48000, 1));
        tapRefused.tapRefusal = QStringLiteral("boom");
        makeRecorder({Script{}, tapRefused, tapRefused, sounding()});
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
        // (what the log says: tst_Desktop, on a real sound server).
        makeRecorder({Script{}});
        QCOMPARE(startError(), RecError::formatChanged);
        for (int n = 1; n <= 3; ++n)
            QVERIFY(world->at(QStringLiteral("stop#%1").arg(n)) > world->at(QStringLiteral("start#%1").arg(n + 1)));
        QVERIFY(world->allStoppedBut(0));

        // A format that never becomes valid pauses after the fourth too.
        Script noFormat;
        noFormat.format = format(0, 0);
        makeRecorder({noFormat});
        QCOMPARE(startError(), RecError::formatChanged);
        QCOMPARE(world->pauses, pausesOfFourTries + QList<double>{0.7});

        // A stream refused, denied or failed ends the sequence at once.
        for (const auto outcome : {CaptureStart::failed, CaptureStart::refused}) {
            Script failing;
            failing.start = {outcome, QStringLiteral("サーバーなし")};
            makeRecorder({Script{}, failing});
            QCOMPARE(startError(), RecError::noInput);
            QCOMPARE(world->pauses, QList<double>{0.25});
            QVERIFY(world->allStoppedBut(0));
        }

        // A sluggish sound server: one deadline keeps the start near 3 s.
        Script slow;
        slow.answerTime = 2;
        makeRecorder({slow});
        QCOMPARE(startError(), RecError::formatChanged);
        QVERIFY2(world->clock < 3.5, qPrintable(QString::number(world->clock)));
    }

    // A chosen microphone that does not open gives way to the default one.
    void tapConvertsAccumulatesAndReportsLevel()
    {
        const QAudioFormat mono16k = format(16000, 1);
        Config::edit([](ConfigData& c) { c.micDeviceUID = QStringLiteral("usb"); });
        makeRecorder({sounding(mono16k)});
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
        makeRecorder({sounding(floats)});
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

QTEST_MAIN(TestDictation)
#include "tst_Dictation.moc"
