// Pasting through the clipboard, with a recording keystroke sender and a
// scripted frontmost application; the paste keystroke's own keys kept apart
// from the user's.
#include "desktop/Paster.h"
#include "platform/linux/X11InjectedKeys.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>

namespace {

// Keystrokes sent (true: with Shift), and the clipboard text each one found.
QList<bool> sent;
QStringList clipboardAtSend;

class RecordingKeys : public KeySynthesizer {
public:
    bool sendPasteKeystroke(bool withShift) override
    {
        sent.append(withShift);
        clipboardAtSend.append(QGuiApplication::clipboard()->text());
        return true;
    }
};

class ScriptedFrontmost : public FrontmostApp {
public:
    explicit ScriptedFrontmost(std::optional<FrontmostAppInfo> app) : app_(std::move(app)) {}
    std::optional<FrontmostAppInfo> current() override { return app_; }

private:
    std::optional<FrontmostAppInfo> app_;
};

std::unique_ptr<Paster> makePaster(std::optional<FrontmostAppInfo> app = std::nullopt)
{
    sent.clear();
    clipboardAtSend.clear();
    return std::make_unique<Paster>(std::make_unique<ScriptedFrontmost>(std::move(app)), std::make_unique<RecordingKeys>());
}

}  // namespace

class tst_Paster : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void theTextAloneGoesOnTheClipboardBeforeTheKeystroke()
    {
        auto* before = new QMimeData;
        before->setHtml(QStringLiteral("<b>old</b>"));
        before->setData(QStringLiteral("image/png"), QByteArray("png"));
        QGuiApplication::clipboard()->setMimeData(before);

        auto paster = makePaster();
        const QString text = QStringLiteral("今日は晴れです。🌤\n二行目");
        paster->paste(text);
        const QMimeData* now = QGuiApplication::clipboard()->mimeData();
        QVERIFY(now);
        QCOMPARE(now->formats(), QStringList{QStringLiteral("text/plain")});
        QCOMPARE(now->text(), text);
        QVERIFY(sent.isEmpty());  // not before the pause
        QTRY_COMPARE(sent, QList<bool>{false});
        QCOMPARE(clipboardAtSend, QStringList{text});
        QTest::qWait(50);
        QCOMPARE(QGuiApplication::clipboard()->text(), text);  // nothing put back afterwards
    }

    void terminalsGetControlShiftV_data()
    {
        QTest::addColumn<QString>("windowClass");
        QTest::addColumn<QString>("instance");
        QTest::addColumn<bool>("withShift");
        QTest::newRow("xterm") << "XTerm" << "xterm" << true;
        QTest::newRow("gnome-terminal, by instance") << "Gnome-terminal" << "gnome-terminal-server" << true;
        QTest::newRow("an editor") << "Gedit" << "gedit" << false;
        QTest::newRow("a name that only contains a terminal's") << "Xterm-notes" << "xterm-notes" << false;
        QTest::newRow("no focused window") << "" << "" << false;
    }

    void terminalsGetControlShiftV()
    {
        QFETCH(QString, windowClass);
        QFETCH(QString, instance);
        QFETCH(bool, withShift);
        std::optional<FrontmostAppInfo> app;
        if (!windowClass.isEmpty()) {
            app.emplace();
            app->pid = 42;
            app->windowClass = windowClass;
            app->windowInstance = instance;
        }
        auto paster = makePaster(app);
        paster->paste(QStringLiteral("ls"));
        QTRY_COMPARE(sent, QList<bool>{withShift});
    }

    void aPasterThatGoesSendsNothing()
    {
        auto paster = makePaster();
        paster->paste(QStringLiteral("残る"));
        paster.reset();
        QTest::qWait(Paster::pauseMs + 100);
        QVERIFY(sent.isEmpty());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("残る"));
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
};

QTEST_MAIN(tst_Paster)
#include "tst_Paster.moc"
