// Pasting into a real focused window: the clipboard, the XTest keystroke, the
// terminal keystroke, and Sayri's own keys kept apart from the user's.
#include "PasteTarget.h"
#include "TestDataFolder.h"
#include "XTestKeys.h"

#include "desktop/HotkeyManager.h"
#include "desktop/Paster.h"
#include "platform/linux/X11FrontmostApp.h"
#include "platform/linux/X11KeySource.h"
#include "platform/linux/X11KeySynthesizer.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

namespace {

std::unique_ptr<Paster> makePaster()
{
    return std::make_unique<Paster>(std::make_unique<X11FrontmostApp>(), std::make_unique<X11KeySynthesizer>());
}

struct Listener {
    explicit Listener(const QString& trigger = QStringLiteral("option"))
        : manager(std::make_unique<X11KeySource>(), TriggerKey::find(trigger))
    {
        manager.onTap = [this](double t) { taps.append(t); };
        manager.start();
    }
    HotkeyManager manager;
    QList<double> taps;
};

}  // namespace

class tst_PasteX11 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        XTestKeys probe;
        QVERIFY2(probe.isOpen(), "no X display: run inside scripts/desktop-session");
    }

    void japaneseEmojiAndLineBreaksArrive()
    {
        PasteTarget target;
        QVERIFY(target.start());
        auto paster = makePaster();
        const QString text = QStringLiteral("今日は晴れです。👨‍👩‍👧 ☀️\n二行目\tタブ");
        paster->paste(text);
        QTRY_COMPARE(target.text(), text);
        QCOMPARE(target.keys(), QStringList{QStringLiteral("Ctrl+V")});
        QCOMPARE(QGuiApplication::clipboard()->text(), text);

        // A long dictation arrives whole.
        QString longText;
        while (longText.size() < 10000)
            longText += QStringLiteral("音声入力のテストです🎤。\n");
        paster->paste(longText);
        QTRY_COMPARE_WITH_TIMEOUT(target.text(), text + longText, 10000);
    }

    // The user still holds the trigger key when the text comes: the window sees
    // Control+V alone, the held key is pressed again afterwards, and none of
    // Sayri's own keys count as the user's taps.
    void withTheTriggerKeyStillHeld()
    {
        TestDataFolder data;
        PasteTarget target;
        QVERIFY(target.start());
        Listener listener;
        QVERIFY(listener.manager.isStarted());
        auto paster = makePaster();
        XTestKeys keys;

        keys.down("Alt_L");
        paster->paste(QStringLiteral("晴れ"));
        QTRY_COMPARE(target.text(), QStringLiteral("晴れ"));
        QCOMPARE(target.keys(), QStringList{QStringLiteral("Ctrl+V")});
        // Alt is still down: typing now is Alt+x, which spoils that press.
        keys.tap("x");
        QTRY_COMPARE(target.keys().value(1), QStringLiteral("Alt+X"));
        keys.up("Alt_L");
        QTest::qWait(100);
        QCOMPARE(listener.taps.size(), 0);
        keys.tap("Alt_L");
        QTRY_COMPARE(listener.taps.size(), 1);
    }

    void heldOnAPhysicalKeyboard_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QString>("trigger");
        QTest::newRow("Alt") << QByteArray("Alt_L") << "option";
        QTest::newRow("Control") << QByteArray("Control_L") << "control";
        QTest::newRow("right Shift") << QByteArray("Shift_R") << "rightShift";
    }

    // The trigger key held on the keyboard itself (not an XTest device) during
    // one paste and let go afterwards: it does not stay stuck, both pastes
    // arrive as Control+V, and the paste's own keys are no taps.
    void heldOnAPhysicalKeyboard()
    {
        QFETCH(QByteArray, key);
        QFETCH(QString, trigger);
        TestDataFolder data;
        Listener listener(trigger);
        PasteTarget target;
        QVERIFY(target.start());
        XTestKeys keyboard(XTestKeys::physicalKeyboard);
        QVERIFY2(keyboard.isOpen(), "the X server has no keyboard device of its own");
        auto paster = makePaster();

        keyboard.down(key.constData());
        paster->paste(QStringLiteral("一つ目"));
        QTRY_COMPARE(target.text(), QStringLiteral("一つ目"));
        QTest::qWait(100);
        QCOMPARE(listener.taps.size(), 0);
        keyboard.up(key.constData());
        paster->paste(QStringLiteral("二つ目"));
        QTRY_COMPARE(target.text(), QStringLiteral("一つ目二つ目"));
        QCOMPARE(target.keys(), QStringList({QStringLiteral("Ctrl+V"), QStringLiteral("Ctrl+V")}));
    }

    void aTerminalGetsControlShiftV()
    {
        PasteTarget target({QStringLiteral("XTerm"), QStringLiteral("xterm"), true, false});
        QVERIFY(target.start());
        auto paster = makePaster();
        paster->paste(QStringLiteral("echo こんにちは"));
        QTRY_COMPARE(target.text(), QStringLiteral("echo こんにちは"));
        // Shift is let go again: the next key typed is a plain one.
        XTestKeys().tap("x");
        QTRY_COMPARE(target.keys(), (QStringList{QStringLiteral("Ctrl+Shift+V"), QStringLiteral("X")}));
    }

    // The window closes before the keystroke: the text stays on the clipboard,
    // and the next paste finds its window as usual.
    void theWindowClosesBeforeTheKeystroke()
    {
        auto paster = makePaster();
        {
            PasteTarget target;
            QVERIFY(target.start());
            paster->paste(QStringLiteral("行き場のない文"));
        }
        QTest::qWait(Paster::pauseMs + 200);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("行き場のない文"));
        PasteTarget next;
        QVERIFY(next.start());
        paster->paste(QStringLiteral("次の文"));
        QTRY_COMPARE(next.text(), QStringLiteral("次の文"));
    }
};

QTEST_MAIN(tst_PasteX11)
#include "tst_PasteX11.moc"
