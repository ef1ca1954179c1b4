// Pasting through the clipboard, with a recording keystroke sender and a
// scripted frontmost application.
#include "desktop/Paster.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>

#include <memory>

namespace {

struct Sent {
    QList<bool> withShift;  // one entry per keystroke
};

class RecordingKeys : public KeySynthesizer {
public:
    explicit RecordingKeys(std::shared_ptr<Sent> sent) : sent_(std::move(sent)) {}
    bool sendPasteKeystroke(bool withShift) override
    {
        // The clipboard is settled before the keystroke goes out.
        clipboardAtSend = QGuiApplication::clipboard()->text();
        sent_->withShift.append(withShift);
        return true;
    }
    static inline QString clipboardAtSend;

private:
    std::shared_ptr<Sent> sent_;
};

class ScriptedFrontmost : public FrontmostApp {
public:
    explicit ScriptedFrontmost(std::optional<FrontmostAppInfo> app) : app_(std::move(app)) {}
    std::optional<FrontmostAppInfo> current() override { return app_; }

private:
    std::optional<FrontmostAppInfo> app_;
};

std::unique_ptr<Paster> makePaster(std::shared_ptr<Sent> sent, std::optional<FrontmostAppInfo> app = std::nullopt)
{
    return std::make_unique<Paster>(std::make_unique<ScriptedFrontmost>(std::move(app)),
                                    std::make_unique<RecordingKeys>(std::move(sent)));
}

FrontmostAppInfo window(const QString& windowClass, const QString& instance)
{
    FrontmostAppInfo info;
    info.pid = 42;
    info.windowClass = windowClass;
    info.windowInstance = instance;
    return info;
}

}  // namespace

class tst_Paster : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void theTextIsTheClipboardsOnlyContent();
    void keystrokeFollowsThePause();
    void terminalsGetControlShiftV_data();
    void terminalsGetControlShiftV();
    void noFocusedWindowStillSendsControlV();
    void aPasterThatGoesSendsNothing();
};

void tst_Paster::theTextIsTheClipboardsOnlyContent()
{
    auto* before = new QMimeData;
    before->setHtml(QStringLiteral("<b>old</b>"));
    before->setText(QStringLiteral("old"));
    before->setData(QStringLiteral("image/png"), QByteArray("png"));
    QGuiApplication::clipboard()->setMimeData(before);

    auto sent = std::make_shared<Sent>();
    auto paster = makePaster(sent);
    const QString text = QStringLiteral("今日は晴れです。🌤\n二行目");
    paster->paste(text);

    const QMimeData* now = QGuiApplication::clipboard()->mimeData();
    QVERIFY(now);
    QCOMPARE(now->formats(), QStringList{QStringLiteral("text/plain")});
    QCOMPARE(now->text(), text);
}

void tst_Paster::keystrokeFollowsThePause()
{
    auto sent = std::make_shared<Sent>();
    auto paster = makePaster(sent, window(QStringLiteral("Gedit"), QStringLiteral("gedit")));
    paster->paste(QStringLiteral("一"));
    QVERIFY(sent->withShift.isEmpty());  // not before the pause
    QTRY_COMPARE(sent->withShift, QList<bool>{false});
    QCOMPARE(RecordingKeys::clipboardAtSend, QStringLiteral("一"));

    // Nothing is put back on the clipboard afterwards.
    QTest::qWait(50);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("一"));
}

void tst_Paster::terminalsGetControlShiftV_data()
{
    QTest::addColumn<QString>("windowClass");
    QTest::addColumn<QString>("instance");
    QTest::addColumn<bool>("withShift");
    QTest::newRow("xterm") << "XTerm" << "xterm" << true;
    QTest::newRow("kitty") << "kitty" << "kitty" << true;
    QTest::newRow("gnome-terminal") << "Gnome-terminal" << "gnome-terminal-server" << true;
    QTest::newRow("wezterm") << "org.wezfurlong.wezterm" << "org.wezfurlong.wezterm" << true;
    QTest::newRow("an editor") << "Gedit" << "gedit" << false;
    QTest::newRow("a name that only contains a terminal's") << "Xterm-notes" << "xterm-notes" << false;
    QTest::newRow("no class") << "" << "" << false;
}

void tst_Paster::terminalsGetControlShiftV()
{
    QFETCH(QString, windowClass);
    QFETCH(QString, instance);
    QFETCH(bool, withShift);
    auto sent = std::make_shared<Sent>();
    auto paster = makePaster(sent, window(windowClass, instance));
    paster->paste(QStringLiteral("ls"));
    QTRY_COMPARE(sent->withShift, QList<bool>{withShift});
}

void tst_Paster::noFocusedWindowStillSendsControlV()
{
    auto sent = std::make_shared<Sent>();
    auto paster = makePaster(sent, std::nullopt);
    paster->paste(QString());
    QTRY_COMPARE(sent->withShift, QList<bool>{false});
    QCOMPARE(QGuiApplication::clipboard()->text(), QString());
}

void tst_Paster::aPasterThatGoesSendsNothing()
{
    auto sent = std::make_shared<Sent>();
    auto paster = makePaster(sent);
    paster->paste(QStringLiteral("残る"));
    paster.reset();
    QTest::qWait(Paster::pauseMs + 100);
    QVERIFY(sent->withShift.isEmpty());
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("残る"));
}

QTEST_MAIN(tst_Paster)
#include "tst_Paster.moc"
