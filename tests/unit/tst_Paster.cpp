// Pasting through the clipboard, with a recording keystroke sender and a
// scripted frontmost application; the paste keystroke's own keys kept apart
// from the user's.
#include "Fakes.h"

#include "desktop/Paster.h"
#include "platform/linux/X11InjectedKeys.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>

namespace {

struct Rig {
    explicit Rig(std::optional<FrontmostAppInfo> app = std::nullopt)
    {
        auto frontmost = std::make_unique<FakeFrontmost>();
        frontmost->app = std::move(app);
        keys = std::make_shared<FakeKeySynthesizer>();
        paster = std::make_unique<Paster>(std::move(frontmost), keys);
    }
    std::shared_ptr<FakeKeySynthesizer> keys;
    std::unique_ptr<Paster> paster;
};

}  // namespace

class TestPaster : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void theTextAloneGoesOnTheClipboardBeforeTheKeystroke()
    {
        auto* before = new QMimeData;
        before->setHtml(QStringLiteral("<b>old</b>"));
        before->setData(QStringLiteral("image/png"), QByteArray("png"));
        QGuiApplication::clipboard()->setMimeData(before);

        Rig rig;
        const QString text = QStringLiteral("今日は晴れです。🌤\n二行目");
        QVERIFY(rig.paster->paste(text));
        const QMimeData* now = QGuiApplication::clipboard()->mimeData();
        QVERIFY(now);
        QCOMPARE(now->formats(), QStringList{QStringLiteral("text/plain")});
        QCOMPARE(now->text(), text);
        QVERIFY(rig.keys->sent.isEmpty());  // not before the pause
        QTRY_COMPARE(rig.keys->sent, QList<PasteKeystroke>{PasteKeystroke::controlV});
        QTest::qWait(50);
        QCOMPARE(QGuiApplication::clipboard()->text(), text);  // nothing put back afterwards

        // No keystroke can be sent, or the paster goes before it: nothing is
        // sent and the text stays on the clipboard.
        rig.keys->sendable = false;
        QVERIFY(!rig.paster->paste(QStringLiteral("手で貼る")));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("手で貼る"));
        Rig gone;
        QVERIFY(gone.paster->paste(QStringLiteral("残る")));
        gone.paster.reset();
        QTest::qWait(Paster::pauseMs + 100);
        QCOMPARE(rig.keys->sent.size(), 1);
        QVERIFY(gone.keys->sent.isEmpty());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("残る"));
    }

    void theKeystrokeThatPastesThere()
    {
        const auto controlV = PasteKeystroke::controlV, shiftV = PasteKeystroke::controlShiftV,
                   insert = PasteKeystroke::shiftInsert;
        // Window class, instance, the categories of its desktop entry; "" for no focused window.
        const QList<std::tuple<QString, QString, QString, PasteKeystroke>> cases{
            {"Sakura", "sakura", "GTK;System;TerminalEmulator", shiftV},  // a terminal by its desktop entry
            {"XTerm", "xterm", "System;TerminalEmulator", insert},        // xterm: the primary selection
            {"Urxvt-tabbed", "urxvt", "", insert},                        // urxvt, by instance
            {"Alacritty", "Alacritty", "", shiftV},                       // listed, without an entry
            {"Kitty", "kitty", "Graphics", controlV},                     // listed, whose entry is no terminal
            {"Gedit", "gedit", "GTK;Utility;TextEditor", controlV},
            {"Xterm-notes", "xterm-notes", "", controlV},  // only contains a terminal's name
            {"", "", "", controlV},
        };
        for (const auto& [windowClass, instance, categories, keystroke] : cases) {
            std::optional<FrontmostAppInfo> app;
            if (!windowClass.isEmpty())
                app = FrontmostAppInfo{42, {}, windowClass, instance, categories.split(u';', Qt::SkipEmptyParts)};
            Rig rig(app);
            rig.paster->paste(QStringLiteral("ls"));
            QTRY_COMPARE(rig.keys->sent, QList<PasteKeystroke>{keystroke});
        }
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

QTEST_MAIN(TestPaster)
#include "tst_Paster.moc"
