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

Q_DECLARE_METATYPE(PasteKeystroke)

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
    }

    void theKeystrokeThatPastesThere_data()
    {
        QTest::addColumn<QString>("windowClass");
        QTest::addColumn<QString>("instance");
        QTest::addColumn<QString>("categories");
        QTest::addColumn<PasteKeystroke>("keystroke");
        const auto controlV = PasteKeystroke::controlV, shiftV = PasteKeystroke::controlShiftV;
        QTest::newRow("a terminal by its desktop entry") << "Sakura"
                                                         << "sakura"
                                                         << "GTK;System;TerminalEmulator" << shiftV;
        QTest::newRow("xterm: the primary selection") << "XTerm"
                                                      << "xterm"
                                                      << "System;TerminalEmulator" << PasteKeystroke::shiftInsert;
        QTest::newRow("urxvt, by instance") << "Urxvt-tabbed"
                                            << "urxvt"
                                            << "" << PasteKeystroke::shiftInsert;
        QTest::newRow("a listed terminal without an entry") << "Alacritty"
                                                            << "Alacritty"
                                                            << "" << shiftV;
        QTest::newRow("a listed name whose entry is no terminal") << "Kitty"
                                                                  << "kitty"
                                                                  << "Graphics" << controlV;
        QTest::newRow("an editor") << "Gedit"
                                   << "gedit"
                                   << "GTK;Utility;TextEditor" << controlV;
        QTest::newRow("a name that only contains a terminal's") << "Xterm-notes"
                                                                << "xterm-notes"
                                                                << "" << controlV;
        QTest::newRow("no focused window") << ""
                                           << ""
                                           << "" << controlV;
    }

    void theKeystrokeThatPastesThere()
    {
        QFETCH(QString, windowClass);
        QFETCH(QString, instance);
        QFETCH(QString, categories);
        QFETCH(PasteKeystroke, keystroke);
        std::optional<FrontmostAppInfo> app;
        if (!windowClass.isEmpty())
            app = FrontmostAppInfo{42, {}, windowClass, instance, categories.split(u';', Qt::SkipEmptyParts)};
        Rig rig(app);
        rig.paster->paste(QStringLiteral("ls"));
        QTRY_COMPARE(rig.keys->sent, QList<PasteKeystroke>{keystroke});
    }

    // No keystroke can be sent, or the paster goes before it: nothing is sent
    // and the text stays on the clipboard.
    void noKeystroke()
    {
        Rig unsendable;
        unsendable.keys->sendable = false;
        QVERIFY(!unsendable.paster->paste(QStringLiteral("手で貼る")));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("手で貼る"));
        Rig gone;
        QVERIFY(gone.paster->paste(QStringLiteral("残る")));
        gone.paster.reset();
        QTest::qWait(Paster::pauseMs + 100);
        QVERIFY(unsendable.keys->sent.isEmpty());
        QVERIFY(gone.keys->sent.isEmpty());
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

QTEST_MAIN(TestPaster)
#include "tst_Paster.moc"
