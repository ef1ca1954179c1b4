// Start-up and lifecycle with recording fakes: launch kinds, page requests,
// the periodic dictionary check, the microphone choice and shutdown.
#include "Fakes.h"
#include "LogFile.h"
#include "TestDataFolder.h"

#include "app/AppDelegate.h"
#include "desktop/TriggerKey.h"
#include "provision/UpdateNotice.h"
#include "store/Config.h"
#include "ui/AboutWindow.h"
#include "ui/FirstRunWindow.h"
#include "ui/MainMenu.h"
#include "ui/SettingsWindow.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QString readyMessage = QStringLiteral("flash:サイリ 準備OK。Altキーを2回押すと録音が始まります@4");
}

class TestStartUp : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data;
    FakeServices* fakes = nullptr;
    QList<QUrl> openedPages;

public Q_SLOTS:
    // The desktop's handler of web addresses, while a test installs it.
    void openPage(const QUrl& url) { openedPages << url; }

private Q_SLOTS:
    void init()
    {
        data = std::make_unique<TestDataFolder>();
        fakes = new FakeServices;
    }
    void cleanup()
    {
        delete fakes;
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
    // with Sayri (the log and the marker: tst_AppLaunch).
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
        delegate.appState()->optionTapped(1.1);
        QCOMPARE(delegate.appState()->phase(), Phase::recording);
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
        Config::bootstrap();
        QCOMPARE(mkfifo(QFile::encodeName(data->file(QStringLiteral(".openpage"))).constData(), 0600), 0);
        QCOMPARE(AppDelegate::takePageRequest(), std::nullopt);
        fakes->take();  // nothing launched to own them
    }

    // A changed dictionary restarts the server once, at an idle tick of the
    // periodic check, which runs by itself; a missing one never. One saved
    // while the server starts is applied by the first check.
    void periodicCheckRestartsOncePerChange()
    {
        Config::bootstrap();
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
        AppState app(fakes->take(), timing);
        app.startUp();
        const auto check = [&app] {
            app.periodicCheck();
            app.pipelineQueue().drain();
        };
        app.pipelineQueue().drain();
        QStringList afterStart = fakes->server->seen();
        check();
        QCOMPARE(fakes->server->seen(), afterStart << QStringLiteral("restart:"));

        touch(2);
        app.optionTapped(1);
        app.optionTapped(1.1);
        QCOMPARE(app.phase(), Phase::recording);
        check();
        QTest::qWait(200);
        QCOMPARE(fakes->server->seen(), afterStart);
        app.escPressed();

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
        Config::bootstrap();
        fakes->audioInputs->devices = {{QStringLiteral("usb-1"), QStringLiteral("山田のマイク")}};
        AppState app(fakes->take());
        app.startUp();
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
        app.pipelineQueue().drain();
        QVERIFY(data->readText(QStringLiteral("config.json")).contains(QStringLiteral("\"micDeviceUID\": \"usb-1\"")));
        QCOMPARE(fakes->overlay->last(), QStringLiteral("flash:マイク: 山田のマイク（次の録音から使います）@2.5"));
        QVERIFY(!logMessages().join(u'\n').contains(QStringLiteral("山田")));
        app.micChanged(QStringLiteral("unplugged"));
        QCOMPARE(fakes->overlay->last(), QStringLiteral("flash:マイク: 選んだマイク（次の録音から使います）@2.5"));
        app.micChanged(QString());
        app.pipelineQueue().drain();
        QCOMPARE(fakes->overlay->last(),
                 QStringLiteral("flash:マイク: パソコンと同じ（自動）（次の録音から使います）@2.5"));
        QCOMPARE(fakes->warmUps, (QStringList{QStringLiteral("usb-1"), QStringLiteral("unplugged")}));
        Q_EMIT fakes->settings.screenHintChanged();
        QCOMPARE(fakes->screen->prepares, 1);
        QVERIFY(fakes->settings.loginItem == fakes->loginItem && fakes->settings.audioInputs);

        app.optionTapped(1);
        app.optionTapped(1.1);
        Q_EMIT fakes->overlay->cancelClicked();
        QCOMPARE(app.phase(), Phase::idle);
        app.optionTapped(2);
        app.optionTapped(2.1);
        Q_EMIT fakes->overlay->stopClicked();
        QCOMPARE(app.phase(), Phase::processing);
    }

    // What a Linux user reads, as composed through the platform words: the
    // trigger-key rows, the start-up messages, the tray menu, every setup
    // step, About and the log never name a Mac, its keys or its settings.
    void linuxWordsInEveryText()
    {
        Config::bootstrap();
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
};

QTEST_MAIN(TestStartUp)
#include "tst_StartUp.moc"
