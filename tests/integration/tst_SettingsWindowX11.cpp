// The settings window of the running app in a real desktop session: opened
// from the tray menu and from a second launch with a page, pages switched and
// controls used with real pointer clicks (XTest through xdotool), the copied
// history text read back from the X clipboard.
#include "DesktopProbe.h"

#include "provision/ModelSetup.h"
#include "store/Config.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRect>
#include <QtTest>

#include <csignal>

namespace {

const QString entry = QStringLiteral("明日の打ち合わせは10時からです。");

QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// The settings window's client area on the screen, or an empty rectangle.
QRect settingsWindow()
{
    const QString id = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                       QStringLiteral("--name"), QStringLiteral("^サイリ$")})
                           .section(u'\n', 0, 0);
    if (id.isEmpty())
        return {};
    QHash<QString, int> v;  // "  Absolute upper-left X:  201"
    for (const QString& line : run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id}).split(u'\n'))
        v.insert(line.section(u':', 0, 0).trimmed(), line.section(u':', 1).trimmed().toInt());
    return QRect(v.value(QStringLiteral("Absolute upper-left X")), v.value(QStringLiteral("Absolute upper-left Y")),
                 v.value(QStringLiteral("Width")), v.value(QStringLiteral("Height")));
}

// A real click at a point of the settings window measured from its top-left corner.
void click(QPoint inWindow, int button = 1)
{
    const QPoint p = settingsWindow().topLeft() + inWindow;
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y()), QStringLiteral("sleep"),
         QStringLiteral("0.2"), QStringLiteral("click"), QString::number(button)});
    QTest::qWait(400);
}

QString clipboard()
{
    return run(QStringLiteral("xclip"),
               {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
}

// Sidebar page buttons, one every 42 points from 120 below the top.
QPoint pageButton(int page)
{
    return {104, 138 + 42 * page};
}

}  // namespace

class TestSettingsWindowX11 : public QObject {
    Q_OBJECT
    QProcess app;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariable("SAYRI_SESSION_DIR").isEmpty(), "run inside scripts/desktop-session");
        // A model and a server program make this an ordinary launch, which opens the window.
        QFile model(QDir::homePath() + QStringLiteral("/model.bin"));
        QVERIFY(model.open(QIODevice::WriteOnly) && model.resize(ModelSetup::plausibleModelSize + 1));
        Config::bootstrap();
        Config::edit([&](ConfigData& c) {
            c.whisperModelPath = model.fileName();
            c.whisperBinary = QStringLiteral("/bin/true");
        });
        QVERIFY(Config::save());
        QFile history(Config::file(QStringLiteral("history.json")));
        QVERIFY(history.open(QIODevice::WriteOnly));
        history.write(
            QJsonDocument(QJsonArray{QJsonObject{
                              {"date", "2026-03-04T09:05:00Z"}, {"raw", entry}, {"text", entry}, {"mode", "whisper"}}})
                .toJson());
        history.close();
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(QStringLiteral(SAYRI_APP_PATH));
        QTRY_VERIFY_WITH_TIMEOUT(!settingsWindow().isEmpty(), 10000);
        QCOMPARE(settingsWindow().size(), QSize(880, 600));
    }

    void closedAndReopenedFromTheTrayMenu()
    {
        click(pageButton(0));
        run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("ctrl+w")});
        QTRY_VERIFY(settingsWindow().isEmpty());
        const std::optional<QPoint> tray = DesktopProbe::trayIconCentre(QStringLiteral("Sayri"));
        QVERIFY(tray);
        run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(tray->x()),
                                        QString::number(tray->y()), QStringLiteral("click"), QStringLiteral("3")});
        QTest::qWait(600);
        run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Down"), QStringLiteral("Return")});
        QTRY_VERIFY_WITH_TIMEOUT(!settingsWindow().isEmpty(), 5000);
        // Centred again on the 1280 × 800 screen.
        QVERIFY((settingsWindow().center() - QPoint(640, 400)).manhattanLength() < 60);
    }

    void pagesByClicks()
    {
        // 設定: the login switch (third card) writes the autostart entry.
        click(pageButton(0));
        const QString entryFile = QDir::homePath() + QStringLiteral("/.config/autostart/sayri.desktop");
        QVERIFY(!QFile::exists(entryFile));
        click({210 + 36 + 598 - 50, 298 + 38});
        QTRY_VERIFY(QFile::exists(entryFile));
        // じぶん辞書: "プロンプトをコピー" puts the request text on the clipboard.
        click(pageButton(1));
        click({246 + 40, 138 + 15});
        QTRY_VERIFY(clipboard().contains(QStringLiteral("CSV")));
        // 履歴: "コピー" of the first row copies its text.
        click(pageButton(2));
        click({210 + 36 + 598 - 24 - 40, 134 + 6 + 33});
        QTRY_COMPARE(clipboard(), entry);
    }

    void secondLaunchWithAPage()
    {
        click(pageButton(0));
        QFile request(Config::file(QStringLiteral(".openpage")));
        QVERIFY(request.open(QIODevice::WriteOnly));
        request.write("history\n");
        request.close();
        QProcess second;
        second.start(QStringLiteral(SAYRI_APP_PATH));
        QVERIFY(second.waitForFinished(10000));
        QTRY_VERIFY(!QFile::exists(request.fileName()));
        QTest::qWait(500);
        run(QStringLiteral("xclip"),
            {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("/dev/null")});
        click({210 + 36 + 598 - 24 - 40, 134 + 6 + 33});  // the history page's first "コピー"
        QTRY_COMPARE(clipboard(), entry);
    }

    void cleanupTestCase()
    {
        ::kill(pid_t(app.processId()), SIGTERM);
        QVERIFY(app.waitForFinished(10000));
    }
};

QTEST_MAIN(TestSettingsWindowX11)
#include "tst_SettingsWindowX11.moc"
