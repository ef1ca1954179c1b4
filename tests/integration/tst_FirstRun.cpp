// The built app's setup window, walked by real keys: it comes back after the window
// manager's close, refuses wrong model data and then asks the other location.
#include "DesktopProbe.h"
#include "FileServer.h"
#include "LogFile.h"
#include "XTestKeys.h"

#include "desktop/ScreenContext.h"
#include "platform/linux/AtspiTree.h"
#include "preview/PreviewModel.h"
#include "provision/ModelSetup.h"
#include "store/Config.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

#include <csignal>

namespace {

const QString title = QStringLiteral("サイリ はじめの準備");
constexpr qint64 wrongSize = 500000000;  // plausible as a model, not the genuine one

// Gives the setup window the keyboard focus (it may be a new X window by now).
void focusSetup()
{
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), title,
                       QStringLiteral("windowactivate"), QStringLiteral("--sync")});
}

// The texts of the app's active window, as the accessibility bus shows them.
QString shownText(qint64 pid)
{
    AtspiTree tree;
    return ScreenContext::axVisibleText(tree, pid);
}

}  // namespace

class TestFirstRun : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void wrongDataIsRefusedAndTheNextTryGoesElsewhere()
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

        FileServer server;
        for (const QString& path : {QStringLiteral("/first.bin"), QStringLiteral("/second.bin")})
            server.setRoute(path, {.block = "not the model ", .size = wrongSize});
        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("SAYRI_MODEL_URLS"),
                   server.url(QStringLiteral("/first.bin")) + u' ' + server.url(QStringLiteral("/second.bin")));
        env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        app.setProcessEnvironment(env);
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

        // "準備をはじめる": the microphone and the key source are there, so on to the model.
        focusSetup();
        keys.tap("Return");
        QTRY_VERIFY(logMessages().filter(QStringLiteral("はじめの準備: モデル を表示")).size() == 1);

        // "ダウンロードをはじめる": wrong data from the first location.
        focusSetup();
        keys.tap("Return");
        QTRY_VERIFY_WITH_TIMEOUT(
            logContains(QStringLiteral("⚠️ "
                                       "モデルの指紋が一致しません（受け取ったものを破棄・別の置き場に切り替え）")),
            120000);
        QTRY_VERIFY(shownText(app.processId())
                        .contains(QStringLiteral("❌ "
                                                 "受け取ったデータが正しくありませんでした。安全のため取り消しました。"
                                                 "もう一度ボタンを押すと、別の場所から取り寄せます")));
        QVERIFY(shownText(app.processId()).contains(QStringLiteral("もう一度ダウンロード")));
        QVERIFY(!ModelSetup::find());

        // "もう一度ダウンロード" goes to the other location.
        focusSetup();
        keys.tap("Return");
        QTRY_COMPARE(server.requests(), (QStringList{QStringLiteral("/first.bin"), QStringLiteral("/second.bin")}));

        // Quitting during a download ends Sayri at once.
        ::kill(pid_t(app.processId()), SIGTERM);
        QTRY_COMPARE_WITH_TIMEOUT(app.state(), QProcess::NotRunning, 10000);
        QCOMPARE(app.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestFirstRun)
#include "tst_FirstRun.moc"
