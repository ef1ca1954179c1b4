// Sayri in a headless sway session (SAYRI_SESSION_COMPOSITOR=sway
// scripts/desktop-session): the trigger key heard through sway's command
// socket, the text pasted by Sayri's virtual keyboard into a native Wayland
// Qt window and into foot, the clipboard set through data-control, the bar
// a layer surface that takes no focus; without a tray, the tray menu's
// actions in the settings window.
#include "AccessibleControls.h"
#include "LogFile.h"
#include "PasteTarget.h"
#include "RunningSayri.h"
#include "TestDataFolder.h"
#include "platform/linux/atspi/AtspiTree.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString pasted = u"今日は晴れです。"_s;

QByteArray output(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    return p.waitForFinished(10000) ? p.readAllStandardOutput() : QByteArray();
}

// The windows sway manages, depth first.
void windowsOf(const QJsonObject& node, QList<QJsonObject>& out)
{
    if (node[u"pid"_s].toInt() > 0)
        out << node;
    for (const char* key : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& child : node[QLatin1String(key)].toArray())
            windowsOf(child.toObject(), out);
    }
}
QList<QJsonObject> windows()
{
    QList<QJsonObject> out;
    windowsOf(QJsonDocument::fromJson(output(u"swaymsg"_s, {u"-r"_s, u"-t"_s, u"get_tree"_s})).object(), out);
    return out;
}
QString focusedAppId()
{
    for (const QJsonObject& w : windows()) {
        if (w[u"focused"_s].toBool())
            return w[u"app_id"_s].toString();
    }
    return {};
}

// The bottom centre of the screen, where the bar appears.
QImage barArea()
{
    const QImage shot = QImage::fromData(output(u"grim"_s, {u"-t"_s, u"ppm"_s, u"-"_s}));
    return shot.copy(shot.width() / 2 - 200, shot.height() - 160, 400, 160);
}

}  // namespace

class TestSway : public QObject {
    Q_OBJECT

    TestDataFolder data;
    RunningSayriWith<WaylandKeys> sayri;

    // A dictation into the focused window `appId`: while recording, the bar
    // shows at the bottom, no window of Sayri's is among sway's windows, and
    // the focus stays; afterwards the text is on the clipboard.
    void dictate(const QString& appId)
    {
        QTRY_COMPARE_WITH_TIMEOUT(focusedAppId(), appId, 10000);
        const QImage before = barArea();
        const int recordings = sayri.recordings();
        sayri.taps(2);
        QTRY_VERIFY_WITH_TIMEOUT(sayri.recordings() > recordings, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(barArea() != before, 5000);
        if (const QString shots = qEnvironmentVariable("SAYRI_SHOTS"); !shots.isEmpty())  // to look at
            QProcess::execute(u"grim"_s, {shots + u"/"_s + appId + u".png"_s});
        for (const QJsonObject& w : windows())
            QVERIFY(w[u"pid"_s].toInteger() != sayri.app.processId());
        QCOMPARE(focusedAppId(), appId);
        QCOMPARE(QProcess::execute(u"paplay"_s, {u"--device=vsink"_s, RunningSayri::speechFile()}), 0);
        sayri.taps(1);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("SWAYSOCK"),
                 "run in SAYRI_SESSION_COMPOSITOR=sway scripts/desktop-session");
        QVERIFY(sayri.keys.isOpen());
        data.writeText(u"dictionary.txt"_s, QString());
        sayri.standIn.setReplies(
            QJsonArray{QJsonObject{{u"text"_s, u"今日は晴れです。ご視聴ありがとうございました"_s}}});
        QVERIFY(AccessibleControls::announceScreenReader());  // for withoutATray
        QVERIFY(sayri.startListening());
        const QString plan = logMessages().filter(u"セッション: Wayland（sway）"_s).value(0);
        QVERIFY2(plan.contains(u"録音キー=sway の操作用ソケット 貼り付け=仮想キーボード"_s), qPrintable(plan));
        QVERIFY2(plan.contains(u"録音バー=layer-shell ウインドウ=Wayland"_s), qPrintable(plan));
    }

    void cleanupTestCase()
    {
        if (sayri.app.state() != QProcess::NotRunning)
            QVERIFY(sayri.terminate());
    }

    void intoANativeQtWindow()
    {
        PasteTarget target(true);
        QVERIFY(target.start());
        dictate(u"sayri-screen-window"_s);
        QTRY_COMPARE_WITH_TIMEOUT(target.text(), pasted, 15000);
        sayri.keys.down("Alt_L");
        sayri.keys.tap("f");
        sayri.keys.up("Alt_L");
        QTRY_COMPARE(target.keys(), (QStringList{u"Ctrl+V"_s, u"File menu"_s}));
        QCOMPARE(QString::fromUtf8(output(u"wl-paste"_s, {u"-n"_s})), pasted);
    }

    // foot takes Control+Shift+V; its shell writes what it is given.
    void intoFoot()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(u"out"_s);
        QProcess foot;
        foot.start(u"foot"_s, {u"sh"_s, u"-c"_s, u"stty -echo -icanon; cat > \"$0\""_s, out});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 20000);
        dictate(u"foot"_s);
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromUtf8(readFile(out)), pasted, 15000);
        QCOMPARE(QString::fromUtf8(output(u"wl-paste"_s, {u"-n"_s})), pasted);
        foot.terminate();
        foot.waitForFinished(5000);
    }

    // sway runs no bar here, so no tray: the log says so once, and the
    // settings window (Sayri opened again) offers the tray menu's actions.
    // Quitting from there takes Sayri's key bindings out of sway.
    void withoutATray()
    {
        QTRY_COMPARE(logMessages().filter(u"トレイ（通知領域）がないため"_s).size(), 1);
        QCOMPARE(QProcess::execute(RunningSayri::path(), {}), 0);
        AtspiTree tree;
        QVERIFY(AccessibleControls::named(tree, sayri.app.processId(), u"サイリについて"_s));
        const std::optional<AccessibleElement> quit =
            AccessibleControls::named(tree, sayri.app.processId(), u"サイリを終了"_s);
        QVERIFY(quit && AccessibleControls::press(*quit));
        QVERIFY(sayri.app.waitForFinished(10000));
        QCOMPARE(sayri.app.exitCode(), 0);
        QVERIFY(QProcess::execute(u"swaymsg"_s, {u"-q"_s, u"unbindsym --release Alt_L"_s})
                != 0);  // no such binding left
    }
};

QTEST_MAIN(TestSway)
#include "tst_Sway.moc"
