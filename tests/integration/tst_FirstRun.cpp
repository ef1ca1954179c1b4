// The built app's setup window on a real window manager: its close brings the
// window back (what the window shows and does on its steps is the unit tests').
#include "DesktopProbe.h"
#include "LogFile.h"
#include "XTestKeys.h"

#include "preview/PreviewModel.h"
#include "store/Config.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

#include <csignal>

namespace {

const QString title = QStringLiteral("サイリ はじめの準備");

// Gives the setup window the keyboard focus (it may be a new X window by now).
void focusSetup()
{
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), title,
                       QStringLiteral("windowactivate"), QStringLiteral("--sync")});
}

}  // namespace

class TestFirstRun : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theWindowManagersCloseBringsItBack()
    {
        QVERIFY2(!qEnvironmentVariable("SAYRI_SESSION_DIR").isEmpty(), "run inside scripts/desktop-session");
        QVERIFY(QDir().mkpath(Config::dataFolder()));
        QVERIFY(QFile(Config::file(QStringLiteral(".forcesetup"))).open(QIODevice::WriteOnly));
        // The provisional-text data is in place (a sparse file of its size), so
        // that step is passed over.
        QVERIFY(QDir().mkpath(QFileInfo(PreviewModel::path()).path()));
        QFile preview(PreviewModel::path());
        QVERIFY(preview.open(QIODevice::WriteOnly) && preview.resize(PreviewModel::genuine.size));
        preview.close();

        QProcess app;
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(QStringLiteral(SAYRI_APP_PATH));
        QVERIFY(app.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(DesktopProbe::windowTitles(QStringLiteral("Sayri")).contains(title), 10000);
        QTRY_VERIFY(!logMessages().filter(QStringLiteral("はじめの準備: 窓の高さ 必要=")).isEmpty());
        XTestKeys keys;

        // The window manager's close (Alt+F4 in openbox) brings the setup back where it was.
        const QString refused = QStringLiteral("はじめの準備: 窓は閉じられません（最後のボタンで終わります）");
        focusSetup();
        keys.down("Alt_L");
        keys.tap("F4");
        keys.up("Alt_L");
        QTRY_VERIFY(logContains(refused));
        QTest::qWait(1000);  // the window comes back as a new X window
        QTRY_VERIFY(DesktopProbe::windowTitles(QStringLiteral("Sayri")).contains(title));
        QCOMPARE(logMessages().count(refused), 1);

        // And it still takes the keyboard: "準備をはじめる" moves on.
        focusSetup();
        keys.tap("Return");
        QTRY_VERIFY(logMessages().filter(QStringLiteral("はじめの準備: モデル を表示")).size() == 1);

        ::kill(pid_t(app.processId()), SIGTERM);
        QTRY_COMPARE_WITH_TIMEOUT(app.state(), QProcess::NotRunning, 10000);
        QCOMPARE(app.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestFirstRun)
#include "tst_FirstRun.moc"
