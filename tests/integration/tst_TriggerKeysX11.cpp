// The trigger key and pasting on a real X server: real key events sent
// through XTest, read back by the XInput2 key source and the tap rules; the
// clipboard and the paste keystroke into a real focused window, and Sayri's
// own keys kept apart from the user's.
#include "DesktopProbe.h"
#include "LogFile.h"
#include "PasteTarget.h"
#include "TestDataFolder.h"
#include "XTestKeys.h"

#include "desktop/HotkeyManager.h"
#include "desktop/Paster.h"
#include "platform/linux/X11FrontmostApp.h"
#include "platform/linux/X11KeySource.h"
#include "platform/linux/X11KeySynthesizer.h"
#include "store/Config.h"
#include "support/Uptime.h"

#include <QFile>
#include <QProcess>
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
        manager.onEsc = [this] { ++escapes; };
        manager.start();
    }
    HotkeyManager manager;
    QList<double> taps;
    int escapes = 0;
};

// Plays a little script of key actions: "down KEY", "up KEY", "tap KEY",
// "wait MS".
void play(XTestKeys& keys, const QStringList& script)
{
    for (const QString& line : script) {
        const QString verb = line.section(QLatin1Char(' '), 0, 0);
        const QByteArray key = line.section(QLatin1Char(' '), 1).toLatin1();
        if (verb == QLatin1String("wait"))
            QTest::qWait(key.toInt());
        else if (verb == QLatin1String("down"))
            keys.down(key.constData());
        else if (verb == QLatin1String("up"))
            keys.up(key.constData());
        else
            keys.tap(key.constData());
    }
}

}  // namespace

class TestTriggerKeysX11 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        XTestKeys probe;
        QVERIFY2(probe.isOpen(), "no X display: run inside scripts/desktop-session");
    }

    // Which X keys count as which trigger (the tap rules are the unit test's),
    // each tap at the time it happened.
    void gestures_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<int>("taps");
        QTest::addColumn<QString>("script");
        QTest::newRow("Shift pressed and released while Alt is held")
            << "option" << 0 << "down Alt_L,tap Shift_L,up Alt_L";
        QTest::newRow("Caps Lock on") << "option" << 1 << "tap Caps_Lock,down Alt_L,wait 50,up Alt_L,tap Caps_Lock";
        QTest::newRow("leftOption ignores the right Alt") << "leftOption" << 1 << "tap Alt_R,wait 50,tap Alt_L";
        QTest::newRow("rightOption ignores the left Alt") << "rightOption" << 1 << "tap Alt_L,wait 50,tap Alt_R";
        QTest::newRow("rightCommand is the right Super key")
            << "rightCommand" << 1 << "tap Super_L,wait 50,tap Super_R";
        QTest::newRow("control: either Ctrl") << "control" << 2 << "tap Control_L,wait 50,tap Control_R";
        QTest::newRow("rightShift ignores the left Shift") << "rightShift" << 1 << "tap Shift_L,wait 50,tap Shift_R";
    }

    void gestures()
    {
        QFETCH(QString, trigger);
        QFETCH(QString, script);
        QFETCH(int, taps);
        TestDataFolder data;
        Listener listener(trigger);
        XTestKeys keys;
        const double start = uptimeSeconds();
        play(keys, script.split(u','));
        if (taps > 0)
            QTRY_COMPARE(listener.taps.size(), taps);
        QTest::qWait(150);
        QCOMPARE(listener.taps.size(), taps);
        for (double t : listener.taps)
            QVERIFY(t >= start && t <= uptimeSeconds());
    }

    // The right Alt as layouts make it, changed while Sayri listens: as AltGr
    // (ISO_Level3_Shift) it still fires; made a Compose key it is gone, and
    // choosing it says so.
    void rightAltUnderALayout_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("taps");
        QTest::newRow("AltGr") << "lv3:ralt_switch" << 1;
        QTest::newRow("Compose") << "compose:ralt" << 0;
    }

    void rightAltUnderALayout()
    {
        QFETCH(QString, option);
        TestDataFolder data;
        Config::bootstrap();
        XTestKeys keyboard(XTestKeys::physicalKeyboard);
        const int rightAlt = keyboard.keycodeOf("Alt_R");
        Listener listener;
        QCOMPARE(QProcess::execute(QStringLiteral("setxkbmap"), {"-option", "", "-option", option}), 0);
        QTest::qWait(200);  // the key source reads the new keymap
        listener.manager.setTrigger(QStringLiteral("rightOption"));
        keyboard.downCode(rightAlt);
        keyboard.upCode(rightAlt);
        QTest::qWait(200);
        QProcess::execute(QStringLiteral("setxkbmap"), {"-option", ""});
        QTEST(int(listener.taps.size()), "taps");
        QCOMPARE(logContains(QStringLiteral(
                     "録音キー「右のAlt」に当たるキーが、いまのキーボード配列にありません（押しても反応しません）")),
                 listener.taps.isEmpty());
    }

    void heldOnAPhysicalKeyboard_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("typed");
        QTest::newRow("Alt") << "Alt_L" << QStringLiteral("option") << "Alt+X";
        QTest::newRow("Control") << "Control_L" << QStringLiteral("control") << "Ctrl+X";
        QTest::newRow("right Shift") << "Shift_R" << QStringLiteral("rightShift") << "Shift+X";
    }

    // The trigger key held on the keyboard itself (not an XTest device) while
    // the text comes: the window sees Control+V alone, the held key is pressed
    // again afterwards (typing is Key+X, which spoils that press), it does not
    // stay stuck once let go, and the paste's own keys are no taps. Escape is
    // reported and still reaches the window.
    void heldOnAPhysicalKeyboard()
    {
        QFETCH(QString, key);
        QFETCH(QString, trigger);
        QFETCH(QString, typed);
        TestDataFolder data;
        Listener listener(trigger);
        PasteTarget target;
        QVERIFY(target.start());
        XTestKeys keyboard(XTestKeys::physicalKeyboard);
        QVERIFY2(keyboard.isOpen(), "the X server has no keyboard device of its own");
        auto paster = makePaster();

        keyboard.down(qPrintable(key));
        const QString text = QStringLiteral("今日は晴れ👨‍👩‍👧\n二行目\tタブ");
        paster->paste(text);
        QTRY_COMPARE(target.text(), text);
        keyboard.tap("x");
        keyboard.up(qPrintable(key));
        paster->paste(QStringLiteral("二つ目"));
        QTRY_VERIFY(target.text().endsWith(QStringLiteral("二つ目")));  // after the typed x, if it wrote one
        keyboard.tap("Escape");
        QTRY_COMPARE(listener.escapes, 1);
        QTRY_COMPARE(target.keys(), (QStringList{"Ctrl+V", typed, "Ctrl+V", "Esc"}));
        QCOMPARE(listener.taps.size(), 0);
    }

    // Real terminal emulators running `cat` into a file: sakura says in its
    // desktop entry that it is one; xterm pastes the primary selection only.
    void terminalsGetTheText_data()
    {
        QTest::addColumn<QStringList>("command");
        const QString cat = QStringLiteral("stty -echo -icanon; cat > \"$0\"");
        QTest::newRow("sakura") << QStringList{"sakura", "-x", "sh -c '" + cat + "' OUT"};
        QTest::newRow("xterm") << QStringList{"xterm", "-u8", "-e", "sh", "-c", cat, "OUT"};
    }

    void terminalsGetTheText()
    {
        QFETCH(QStringList, command);
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out"));
        command.replaceInStrings(QStringLiteral("OUT"), out);
        qputenv("LC_ALL", "C.UTF-8");
        QProcess terminal;
        terminal.start(command.takeFirst(), command);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 20000);  // its shell runs
        DesktopProbe::run(
            QStringLiteral("xdotool search --onlyvisible --pid %1 windowactivate --sync").arg(terminal.processId()));
        const QString text = QStringLiteral("echo 今日は晴れ 👍");
        auto paster = makePaster();
        QVERIFY(paster->paste(text));
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromUtf8(readFile(out)), text, 10000);
        terminal.terminate();
        terminal.waitForFinished(5000);
    }
};

QTEST_MAIN(TestTriggerKeysX11)
#include "tst_TriggerKeysX11.moc"
