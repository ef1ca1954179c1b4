// The built app in a real desktop session: tray icon, data folder, log,
// single instance, and termination by signal (which window a launch opens is
// the start-up unit test's).
#include "DesktopProbe.h"
#include "LogFile.h"

#include "platform/PlatformWords.h"
#include "store/Config.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <csignal>

class TestAppLaunch : public QObject {
    Q_OBJECT

    // SAYRI_APP names another copy, e.g. one unpacked from the package.
    static QString appPath() { return qEnvironmentVariable("SAYRI_APP", QStringLiteral(SAYRI_APP_PATH)); }

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

        QTRY_VERIFY_WITH_TIMEOUT(DesktopProbe::inTray(QStringLiteral("Sayri")), 10000);

        // The data folder of a first start.
        QTRY_VERIFY(QFile::exists(Config::file(QStringLiteral(".launched"))));
        QFile config(Config::file(QStringLiteral("config.json")));
        QVERIFY(config.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(config.readAll()).object().size(), 7);
        QFile dictionary(Config::file(QStringLiteral("dictionary.txt")));
        QVERIFY(dictionary.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(dictionary.readAll()), Config::defaultDictionary);
        QTRY_VERIFY(logContains(QStringLiteral("サイリ起動")));

        // No model here, so setup comes first and no settings window opens.
        QTRY_VERIFY(
            DesktopProbe::windowTitles(QStringLiteral("Sayri")).contains(QStringLiteral("サイリ はじめの準備")));
        QTest::qWait(800);
        QVERIFY(!DesktopProbe::windowTitles(QStringLiteral("Sayri")).contains(QStringLiteral("サイリ")));

        // A second launch hands over to the first and ends.
        QProcess second;
        second.start(appPath());
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QTRY_VERIFY(DesktopProbe::windowTitles(QStringLiteral("Sayri")).contains(QStringLiteral("サイリ")));
        QCOMPARE(app.state(), QProcess::Running);
        QCOMPARE(logMessages().count(QStringLiteral("サイリ起動")), 1);

        ::kill(pid_t(app.processId()), SIGTERM);
        QVERIFY(app.waitForFinished(10000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
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
        QTRY_VERIFY_WITH_TIMEOUT(
            DesktopProbe::windowTitles(QStringLiteral("Sayri")).contains(QStringLiteral("サイリ はじめの準備")), 10000);
        QTRY_VERIFY(logContains(QStringLiteral("Wayland のセッションです。")
                                + PlatformWords::keySourceAdvice().join(QString())));
        ::kill(pid_t(app.processId()), SIGTERM);
        QVERIFY(app.waitForFinished(10000));

        env.remove(QStringLiteral("DISPLAY"));
        app.setProcessEnvironment(env);
        app.start(appPath());
        QVERIFY(app.waitForFinished(10000));
        QVERIFY(app.exitStatus() == QProcess::NormalExit && app.exitCode() == 1);
        QVERIFY(QString::fromUtf8(app.readAllStandardError()).contains(QStringLiteral("X11 のセッション")));
    }
};

QTEST_GUILESS_MAIN(TestAppLaunch)
#include "tst_AppLaunch.moc"
