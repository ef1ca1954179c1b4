// Sayri's own parts on a real X server, in this order:
// - the trigger key: real key events sent through XTest, read back by the
//   XInput2 key source and the tap rules, also under a changed layout;
// - pasting: the clipboard and the paste keystroke into a real focused window
//   and real terminals, Sayri's own keys kept apart from the user's;
// - the recording bar: messages let clicks through, the dictated-into window
//   keeps the keyboard while the bar shows and is clicked, the bar stays above
//   other windows and on every desktop (dragging is the unit test's);
// - the dictionary table: a word dragged with real pointer events lands where
//   it is dropped in "dictionary.txt" (the dialogs are the unit test's).
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
#include "store/Dictionary.h"
#include "support/Uptime.h"
#include "ui/DictionaryTable.h"
#include "ui/Overlay.h"

#include <QFile>
#include <QListView>
#include <QProcess>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

bool xdotool(const QString& args)
{
    return bool(DesktopProbe::run(u"xdotool "_s + args));
}

void moveMouse(QPoint p)
{
    xdotool(u"mousemove %1 %2"_s.arg(p.x()).arg(p.y()));
}

// The top-level window the pointer is over, as the X server picks it (input
// shapes included): the bar itself, an application's frame.
quint64 underPointer()
{
    const QString shell = DesktopProbe::run(u"xdotool getmouselocation --shell"_s).value_or(QString());
    return shell.section(u"WINDOW="_s, 1).section(u'\n', 0, 0).toULongLong();
}

bool isViewable(quint64 window)
{
    return DesktopProbe::run(u"xwininfo -id %1"_s.arg(window)).value_or(QString()).contains(u"Map State: IsViewable"_s);
}

std::unique_ptr<Paster> makePaster()
{
    return std::make_unique<Paster>(std::make_unique<X11FrontmostApp>(), std::make_unique<X11KeySynthesizer>());
}

struct Listener {
    explicit Listener(const QString& trigger)
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
// "wait MS", "layout XKB-OPTION" (the keyboard layout changed while the
// listener listens), "trigger ID" (then chosen). Keys are named as the
// usual layout names them, before a layout line changes it.
void play(XTestKeys& keys, Listener& listener, const QStringList& script)
{
    QList<int> codes;
    for (const QString& line : script)
        codes << keys.keycodeOf(line.section(u' ', 1).toLatin1().constData());
    for (qsizetype i = 0; i < script.size(); ++i) {
        const QString verb = script[i].section(u' ', 0, 0), argument = script[i].section(u' ', 1);
        if (verb == QLatin1String("wait")) {
            QTest::qWait(argument.toInt());
        } else if (verb == QLatin1String("layout")) {
            QProcess::execute(u"setxkbmap"_s, {u"-option"_s, QString(), u"-option"_s, argument});
            QTest::qWait(200);  // the key source reads the new keymap
        } else if (verb == QLatin1String("trigger")) {
            listener.manager.setTrigger(argument);
        } else {
            if (verb != QLatin1String("up"))
                keys.downCode(codes[i]);
            if (verb != QLatin1String("down"))
                keys.upCode(codes[i]);
        }
    }
}

}  // namespace

class TestDesktopX11 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        XTestKeys probe;
        QVERIFY2(probe.isOpen(), "no X display: run inside scripts/desktop-session");
    }

    // Which X keys count as which trigger (the tap rules are the unit test's),
    // each tap at the time it happened. The right Alt as layouts make it: as
    // AltGr (ISO_Level3_Shift) it still fires; made a Compose key it is gone,
    // and choosing it says so.
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
        QTest::newRow("right Alt as AltGr") << "option" << 1 << "layout lv3:ralt_switch,trigger rightOption,tap Alt_R";
        QTest::newRow("right Alt as Compose") << "option" << 0 << "layout compose:ralt,trigger rightOption,tap Alt_R";
    }

    void gestures()
    {
        QFETCH(QString, trigger);
        QFETCH(QString, script);
        QFETCH(int, taps);
        TestDataFolder data;
        Config::bootstrap();
        Listener listener(trigger);
        XTestKeys keys(XTestKeys::physicalKeyboard);
        const auto usualLayout = qScopeGuard([] { QProcess::execute(u"setxkbmap"_s, {u"-option"_s, QString()}); });
        const double start = uptimeSeconds();
        play(keys, listener, script.split(u','));
        if (taps > 0)
            QTRY_COMPARE(listener.taps.size(), taps);
        QTest::qWait(150);
        QCOMPARE(listener.taps.size(), taps);
        for (double t : listener.taps)
            QVERIFY(t >= start && t <= uptimeSeconds());
        QCOMPARE(logContains(
                     u"録音キー「右のAlt」に当たるキーが、いまのキーボード配列にありません（押しても反応しません）"_s),
                 script.contains(u"compose:ralt"_s));
    }

    void heldOnAPhysicalKeyboard_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("typed");
        QTest::newRow("Alt") << "Alt_L" << u"option"_s << "Alt+X";
        QTest::newRow("Control") << "Control_L" << u"control"_s << "Ctrl+X";
        QTest::newRow("right Shift") << "Shift_R" << u"rightShift"_s << "Shift+X";
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
        const QString text = u"今日は晴れ👨‍👩‍👧\n二行目\tタブ"_s;
        paster->paste(text);
        QTRY_COMPARE(target.text(), text);
        keyboard.tap("x");
        keyboard.up(qPrintable(key));
        paster->paste(u"二つ目"_s);
        QTRY_VERIFY(target.text().endsWith(u"二つ目"_s));  // after the typed x, if it wrote one
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
        const QString out = dir.filePath(u"out"_s);
        command.replaceInStrings(u"OUT"_s, out);
        qputenv("LC_ALL", "C.UTF-8");
        QProcess terminal;
        terminal.start(command.takeFirst(), command);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 20000);  // its shell runs
        DesktopProbe::run(u"xdotool search --onlyvisible --pid %1 windowactivate --sync"_s.arg(terminal.processId()));
        const QString text = u"echo 今日は晴れ 👍"_s;
        auto paster = makePaster();
        QVERIFY(paster->paste(text));
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromUtf8(readFile(out)), text, 10000);
        terminal.terminate();
        terminal.waitForFinished(5000);
    }

    void theRecordingBarOnARealDesktop()
    {
        TestDataFolder data;
        Config::bootstrap();
        Overlay overlay;
        overlay.newerVersion = [] { return std::optional<QString>(); };
        PasteTarget target;
        QVERIFY(target.start());
        const quint64 window = target.windowId().toULongLong(nullptr, 16);
        XTestKeys keys;
        const auto showBar = [&] {
            overlay.showRecordingBar(u"Sayri-paste-target"_s, u"VirtualMic"_s);
            QTest::qWait(150);  // mapped and drawn on the X server
        };

        // A message lets the mouse through to the application's window,
        // put where the bar appears.
        overlay.show(u"準備ができました"_s);
        QWidget* panel = overlay.panel();
        QTRY_VERIFY(panel->isVisible());
        const QPoint centre = panel->geometry().center();
        xdotool(u"windowmove %1 %2 %3"_s.arg(target.windowId()).arg(centre.x() - 100).arg(centre.y() - 100));
        QTest::qWait(200);
        const quint64 bar = panel->winId();
        moveMouse(centre);
        QCOMPARE_NE(underPointer(), bar);

        // The recording bar catches it; the text field keeps the keyboard
        // while the bar shows, is clicked (background and stop button), and
        // shows live text and a message.
        showBar();
        moveMouse(panel->mapToGlobal(QPoint(200, 75)));
        QTRY_COMPARE(underPointer(), bar);
        keys.tap("a");
        QTRY_COMPARE(target.text(), u"a"_s);
        int stops = 0;
        connect(&overlay, &OverlayView::stopClicked, this, [&stops] { ++stops; });
        for (const QPoint p : {QPoint(200, 75), QPoint(369, 92)}) {
            moveMouse(panel->mapToGlobal(p));
            xdotool(u"click 1"_s);
        }
        QTRY_COMPARE(stops, 1);
        overlay.updateLiveText(u"ライブの文字"_s);
        overlay.updateLevel(0.4f);
        keys.tap("b");
        overlay.show(u"文字起こし中…"_s);
        keys.tap("c");
        QTRY_COMPARE(target.text(), u"abc"_s);
        QVERIFY(ScreenWindow::isActive(target.windowId()));
        QVERIFY(QApplication::activeWindow() == nullptr);

        // The bar grows by the update notice while it shows: its new bottom
        // strip catches the mouse too.
        overlay.newerVersion = [] { return std::optional<QString>(u"2.0"_s); };
        showBar();
        QCOMPARE(panel->height(), 136);
        moveMouse(panel->mapToGlobal(QPoint(200, 128)));
        QTRY_COMPARE(underPointer(), bar);

        // The application is brought to the front again: the bar stays above it.
        QVERIFY(target.activate());
        moveMouse(panel->mapToGlobal(QPoint(200, 75)));
        QTest::qWait(100);
        QCOMPARE(underPointer(), bar);

        // Another desktop: the application's window goes, the bar stays.
        QVERIFY(xdotool(u"set_desktop 1"_s));
        QTRY_VERIFY(!isViewable(window));
        QVERIFY(isViewable(bar));
        overlay.show(u"✓ 貼り付けました"_s);
        QTest::qWait(100);
        QVERIFY(isViewable(bar));
    }

    void aWordDraggedBelowTheLast()
    {
        TestDataFolder data;
        writeFile(data.file(u"dictionary.txt"_s), "一番\nに=二番\n三番\n");
        QWidget page;  // the page around the table
        DictionaryTable table(&page);
        page.resize(740, 360);
        table.setGeometry(20, 20, 700, 320);
        table.setEntries(Config::dictionaryDisplayEntries());
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        const auto* view = table.findChild<QListView*>();
        const auto row = [view](int i) {
            const QRect r = view->visualRect(view->model()->index(i, 0));
            return r.translated(view->viewport()->mapToGlobal(QPoint(0, 0)));
        };
        const auto to = [](QPoint p, double wait) {
            return u"mousemove %1 %2 sleep %3 "_s.arg(p.x()).arg(p.y()).arg(wait);
        };

        // Real XTest pointer events from xdotool, while this event loop (and
        // the drag's own) keeps running.
        const QPoint from(row(0).x() + 20, row(0).center().y()), below(row(2).x() + 20, row(2).bottom() - 2);
        QString steps = to(from, 0.1) + u"mousedown 1 "_s;
        for (int i = 1; i <= 20; ++i)
            steps += to(from + (below - from) * i / 20, 0.03);
        QProcess xdotool;
        xdotool.start(u"xdotool"_s, (steps + to(below, 0.3) + u"mouseup 1"_s).split(u' '));
        QTRY_VERIFY_WITH_TIMEOUT(xdotool.state() == QProcess::NotRunning, 10000);
        QTRY_VERIFY(readFile(data.file(u"dictionary.txt"_s)).endsWith("\n\nに=二番\n三番\n一番\n"));
    }
};

QTEST_MAIN(TestDesktopX11)
#include "tst_DesktopX11.moc"
