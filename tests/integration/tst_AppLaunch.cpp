// The built app in a real desktop session: tray icon and its menu, single
// instance, termination by signal, a Wayland session, and the setup window
// on a real window manager (which window a launch opens and what the setup
// window's steps do are the unit tests').
#include "DesktopProbe.h"
#include "LogFile.h"
#include "RunningSayri.h"

#include "platform/PlatformWords.h"
#include "store/Config.h"

#include <QFile>
#include <QtTest>

namespace {

const QString setupTitle = QStringLiteral("サイリ はじめの準備");

bool hasWindow(const QString& title)
{
    return DesktopProbe::windowTitles(QStringLiteral("Sayri")).contains(title);
}

// Gives the window of that title the keyboard focus (it may be a new X window
// by now, or become one while Sayri lays it out); true once it is active.
bool focus(const QString& title)
{
    return QTest::qWaitFor(
        [&] {
            QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                          QStringLiteral("--name"), QStringLiteral("^%1$").arg(title),
                                                          QStringLiteral("windowactivate"), QStringLiteral("--sync")});
            return DesktopProbe::run(QStringLiteral("xdotool getactivewindow getwindowname")) == title;
        },
        5000);
}

}  // namespace

class TestAppLaunch : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariable("SAYRI_SESSION_DIR").isEmpty(), "run inside scripts/desktop-session");
        QVERIFY(!QFile::exists(Config::dataFolder()));
    }

    void launchSecondLaunchAndTerminate()
    {
        RunningSayri sayri;
        sayri.launch();
        QTRY_VERIFY_WITH_TIMEOUT(DesktopProbe::trayIconCentre(QStringLiteral("Sayri")), 10000);
        QTRY_VERIFY(logContains(QStringLiteral("サイリ起動")));

        // No model here, so setup comes first and no settings window opens.
        QTRY_VERIFY(hasWindow(setupTitle));
        QTRY_VERIFY(!logMessages().filter(QStringLiteral("はじめの準備: 窓の高さ 必要=")).isEmpty());
        QVERIFY(!hasWindow(QStringLiteral("サイリ")));

        // The window manager's close (Alt+F4 in openbox) brings it back, and
        // it still takes the keyboard: "準備をはじめる" moves on.
        const QString refused = QStringLiteral("はじめの準備: 窓は閉じられません（最後のボタンで終わります）");
        const auto stepsShown = [] { return logMessages().filter(QStringLiteral(" を表示　")).size(); };
        const qsizetype steps = stepsShown();
        QVERIFY(focus(setupTitle));
        DesktopProbe::run(QStringLiteral("xdotool key alt+F4"));
        QTRY_VERIFY(logContains(refused));
        QTest::qWait(1000);  // the window comes back as a new X window
        QTRY_VERIFY(hasWindow(setupTitle));
        QCOMPARE(logMessages().count(refused), 1);
        QVERIFY(focus(setupTitle));
        DesktopProbe::run(QStringLiteral("xdotool key Return"));
        QTRY_VERIFY(stepsShown() > steps);

        // A second launch hands over to the first and ends.
        QProcess second;
        second.start(RunningSayri::path());
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY(hasWindow(QStringLiteral("サイリ")));
        QCOMPARE(sayri.app.state(), QProcess::Running);
        QCOMPARE(logMessages().count(QStringLiteral("サイリ起動")), 1);

        // Closed, the settings window comes back from the tray icon's menu.
        QVERIFY(focus(QStringLiteral("サイリ")));
        DesktopProbe::run(QStringLiteral("xdotool key ctrl+w"));
        QTRY_VERIFY(!hasWindow(QStringLiteral("サイリ")));
        const std::optional<QPoint> tray = DesktopProbe::trayIconCentre(QStringLiteral("Sayri"));
        QVERIFY(tray);
        DesktopProbe::run(
            QStringLiteral("xdotool mousemove %1 %2 click 3 sleep 0.6 key Down Return").arg(tray->x()).arg(tray->y()));
        QTRY_VERIFY_WITH_TIMEOUT(hasWindow(QStringLiteral("サイリ")), 5000);

        QVERIFY(sayri.terminate());
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
        RunningSayri sayri;
        sayri.app.setProcessEnvironment(env);
        sayri.launch();
        QTRY_VERIFY_WITH_TIMEOUT(hasWindow(setupTitle), 10000);
        QTRY_VERIFY(logContains(QStringLiteral("Wayland のセッションです。")
                                + PlatformWords::keySourceAdvice().join(QString())));
        QVERIFY(sayri.terminate());

        env.remove(QStringLiteral("DISPLAY"));
        sayri.app.setProcessEnvironment(env);
        sayri.app.setProcessChannelMode(QProcess::SeparateChannels);
        sayri.launch();
        QVERIFY(sayri.app.waitForFinished(10000));
        QVERIFY(sayri.app.exitStatus() == QProcess::NormalExit && sayri.app.exitCode() == 1);
        QVERIFY(QString::fromUtf8(sayri.app.readAllStandardError()).contains(QStringLiteral("X11 のセッション")));
    }
};

QTEST_GUILESS_MAIN(TestAppLaunch)
#include "tst_AppLaunch.moc"
