// The built app in a real desktop session: tray icon and its menu, single
// instance, termination by signal, a Wayland session, and the setup window
// on a real window manager (which window a launch opens and what the setup
// window's steps do are the unit tests').
#include "DesktopProbe.h"
#include "LogFile.h"
#include "XTestKeys.h"

#include "platform/PlatformWords.h"
#include "preview/PreviewModel.h"
#include "store/Config.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <csignal>

namespace {

const QString setupTitle = QStringLiteral("サイリ はじめの準備");

bool hasWindow(const QString& title)
{
    return DesktopProbe::windowTitles(QStringLiteral("Sayri")).contains(title);
}

// Gives the window of that title the keyboard focus (it may be a new X window by now).
void focus(const QString& title)
{
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), title,
                       QStringLiteral("windowactivate"), QStringLiteral("--sync")});
}

void terminate(QProcess& app)
{
    ::kill(pid_t(app.processId()), SIGTERM);
    QVERIFY(app.waitForFinished(10000));
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
}

}  // namespace

class TestAppLaunch : public QObject {
    Q_OBJECT

    XTestKeys keys;

    // SAYRI_APP names another copy, e.g. one unpacked from the package.
    static QString appPath() { return qEnvironmentVariable("SAYRI_APP", QStringLiteral(SAYRI_APP_PATH)); }

    void press(const char* modifier, const char* key)
    {
        keys.down(modifier);
        keys.tap(key);
        keys.up(modifier);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariable("SAYRI_SESSION_DIR").isEmpty(), "run inside scripts/desktop-session");
        QVERIFY(!QFile::exists(Config::dataFolder()));
    }

    void launchSecondLaunchAndTerminate()
    {
        QProcess app;
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(appPath());
        QVERIFY(app.waitForStarted());

        QTRY_VERIFY_WITH_TIMEOUT(DesktopProbe::trayIconCentre(QStringLiteral("Sayri")), 10000);
        QTRY_VERIFY(logContains(QStringLiteral("サイリ起動")));

        // No model here, so setup comes first and no settings window opens.
        QTRY_VERIFY(hasWindow(setupTitle));
        QTest::qWait(800);
        QVERIFY(!hasWindow(QStringLiteral("サイリ")));

        // A second launch hands over to the first and ends.
        QProcess second;
        second.start(appPath());
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY(hasWindow(QStringLiteral("サイリ")));
        QCOMPARE(app.state(), QProcess::Running);
        QCOMPARE(logMessages().count(QStringLiteral("サイリ起動")), 1);

        // Closed, the settings window comes back from the tray icon's menu.
        focus(QStringLiteral("^サイリ$"));
        press("Control_L", "w");
        QTRY_VERIFY(!hasWindow(QStringLiteral("サイリ")));
        const std::optional<QPoint> tray = DesktopProbe::trayIconCentre(QStringLiteral("Sayri"));
        QVERIFY(tray);
        QProcess::execute(QStringLiteral("xdotool"),
                          {QStringLiteral("mousemove"), QString::number(tray->x()), QString::number(tray->y()),
                           QStringLiteral("click"), QStringLiteral("3"), QStringLiteral("sleep"), QStringLiteral("0.6"),
                           QStringLiteral("key"), QStringLiteral("Down"), QStringLiteral("Return")});
        QTRY_VERIFY_WITH_TIMEOUT(hasWindow(QStringLiteral("サイリ")), 5000);

        terminate(app);
        QCOMPARE(logMessages().last(), QStringLiteral("サイリ終了"));
    }

    // A Wayland session (naming a compositor that is not there, and asking Qt
    // for a platform it lacks): Sayri runs on the X display and says why it
    // does not listen to keys; with no X display at all it says so and ends.
    void waylandSession()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-nowhere"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        QProcess app;
        app.setProcessEnvironment(env);
        app.start(appPath());
        QTRY_VERIFY_WITH_TIMEOUT(hasWindow(setupTitle), 10000);
        QTRY_VERIFY(logContains(QStringLiteral("Wayland のセッションです。")
                                + PlatformWords::keySourceAdvice().join(QString())));
        terminate(app);

        env.remove(QStringLiteral("DISPLAY"));
        app.setProcessEnvironment(env);
        app.start(appPath());
        QVERIFY(app.waitForFinished(10000));
        QVERIFY(app.exitStatus() == QProcess::NormalExit && app.exitCode() == 1);
        QVERIFY(QString::fromUtf8(app.readAllStandardError()).contains(QStringLiteral("X11 のセッション")));
    }

    // The window manager's close (Alt+F4 in openbox) brings the setup window
    // back, and it still takes the keyboard.
    void setupWindowClosedByTheWindowManager()
    {
        QVERIFY(QDir().mkpath(Config::dataFolder()));
        QVERIFY(QFile(Config::file(QStringLiteral(".forcesetup"))).open(QIODevice::WriteOnly));
        // The provisional-text data is in place (a sparse file of its size), so
        // that step is passed over.
        QVERIFY(QDir().mkpath(QFileInfo(PreviewModel::path()).path()));
        QFile preview(PreviewModel::path());
        QVERIFY(preview.open(QIODevice::WriteOnly) && preview.resize(PreviewModel::genuine.size));
        preview.close();
        const QString refused = QStringLiteral("はじめの準備: 窓は閉じられません（最後のボタンで終わります）");
        const QString modelStep = QStringLiteral("はじめの準備: モデル を表示");
        const qsizetype modelSteps = logMessages().filter(modelStep).size();
        const auto laidOut = [] { return logMessages().filter(QStringLiteral("はじめの準備: 窓の高さ 必要=")).size(); };
        const qsizetype layouts = laidOut();

        QProcess app;
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(appPath());
        QTRY_VERIFY_WITH_TIMEOUT(hasWindow(setupTitle), 10000);
        QTRY_VERIFY(laidOut() > layouts);
        focus(setupTitle);
        press("Alt_L", "F4");
        QTRY_VERIFY(logContains(refused));
        QTest::qWait(1000);  // the window comes back as a new X window
        QTRY_VERIFY(hasWindow(setupTitle));
        QCOMPARE(logMessages().count(refused), 1);

        // "準備をはじめる" moves on.
        focus(setupTitle);
        keys.tap("Return");
        QTRY_COMPARE(logMessages().filter(modelStep).size(), modelSteps + 1);
        terminate(app);
    }
};

QTEST_GUILESS_MAIN(TestAppLaunch)
#include "tst_AppLaunch.moc"
