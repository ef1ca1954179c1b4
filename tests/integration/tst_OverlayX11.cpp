// The recording bar on a real X desktop: the dictated-into window keeps the
// keyboard while the bar shows and is clicked, the bar stays above other
// windows and on every desktop, and messages let clicks through (dragging
// is the unit test's).
#include "PasteTarget.h"
#include "TestDataFolder.h"
#include "XTestKeys.h"

#include "store/Config.h"
#include "ui/Overlay.h"

#include <QProcess>
#include <QTest>
#include <QWidget>

#include <X11/Xlib.h>

namespace {

bool xdotool(const QStringList& args, QByteArray* out = nullptr)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForFinished(10000))
        return false;
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString activeWindow()
{
    QByteArray out;
    xdotool({QStringLiteral("getactivewindow")}, &out);
    return QStringLiteral("0x%1").arg(out.trimmed().toULongLong(), 0, 16);
}

// A connection of our own for stacking and pointer questions.
class XQuery {
public:
    XQuery() : d_(XOpenDisplay(nullptr)) {}
    ~XQuery()
    {
        if (d_)
            XCloseDisplay(d_);
    }
    bool isOpen() const { return d_; }

    // The child of the root window that holds `w` (its frame, when managed).
    Window topLevel(Window w) const
    {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int n = 0;
        while (XQueryTree(d_, w, &root, &parent, &children, &n)) {
            if (children)
                XFree(children);
            if (parent == root || parent == 0)
                return w;
            w = parent;
        }
        return w;
    }
    // Position in the root's stacking order, bottom first; -1 when absent.
    int stackIndex(Window w) const
    {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int n = 0;
        int index = -1;
        if (XQueryTree(d_, DefaultRootWindow(d_), &root, &parent, &children, &n)) {
            for (unsigned int i = 0; i < n; ++i)
                if (children[i] == w)
                    index = int(i);
            XFree(children);
        }
        return index;
    }
    bool isViewable(Window w) const
    {
        XWindowAttributes a;
        return XGetWindowAttributes(d_, w, &a) && a.map_state == IsViewable;
    }
    // The top-level window the pointer is over, as the X server picks it
    // (input shapes included).
    Window underPointer() const
    {
        Window root = 0, child = 0;
        int rx = 0, ry = 0, wx = 0, wy = 0;
        unsigned int mask = 0;
        XQueryPointer(d_, DefaultRootWindow(d_), &root, &child, &rx, &ry, &wx, &wy, &mask);
        return child;
    }

private:
    Display* d_;
};

void moveMouse(QPoint p)
{
    xdotool({QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y())});
}

}  // namespace

class TestOverlayX11 : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data;
    std::unique_ptr<Overlay> overlay;

    QWidget* showBar()
    {
        overlay->showRecordingBar(QStringLiteral("Sayri-paste-target"), QStringLiteral("VirtualMic"));
        QWidget* panel = overlay->panel();
        [&] { QTRY_VERIFY(panel && panel->isVisible()); }();
        QTest::qWait(150);  // mapped and drawn on the X server
        return panel;
    }

private Q_SLOTS:
    void init()
    {
        XTestKeys probe;
        QVERIFY2(probe.isOpen(), "no X display: run inside scripts/desktop-session");
        data = std::make_unique<TestDataFolder>();
        Config::bootstrap();
        overlay = std::make_unique<Overlay>();
        overlay->newerVersion = [] { return std::optional<QString>(); };
    }
    void cleanup()
    {
        overlay.reset();
        data.reset();
        xdotool({QStringLiteral("set_desktop"), QStringLiteral("0")});
    }

    void theTextFieldKeepsTheKeyboard()
    {
        PasteTarget target;
        QVERIFY(target.start());
        XTestKeys keys;
        keys.tap("a");
        QTRY_COMPARE(target.text(), QStringLiteral("a"));

        QWidget* panel = showBar();
        QCOMPARE(activeWindow(), target.windowId());
        keys.tap("b");
        QTRY_COMPARE(target.text(), QStringLiteral("ab"));

        // Clicking the bar's background and its stop button takes nothing away.
        int stops = 0;
        connect(overlay.get(), &OverlayView::stopClicked, this, [&stops] { ++stops; });
        moveMouse(panel->mapToGlobal(QPoint(200, 75)));
        xdotool({QStringLiteral("click"), QStringLiteral("1")});
        moveMouse(panel->mapToGlobal(QPoint(369, 92)));
        xdotool({QStringLiteral("click"), QStringLiteral("1")});
        QTRY_COMPARE(stops, 1);
        keys.tap("c");
        QTRY_COMPARE(target.text(), QStringLiteral("abc"));
        QCOMPARE(activeWindow(), target.windowId());

        // A message and live text while typing go on.
        overlay->updateLiveText(QStringLiteral("ライブの文字"));
        overlay->updateLevel(0.4f);
        keys.tap("d");
        overlay->show(QStringLiteral("文字起こし中…"));
        keys.tap("e");
        QTRY_COMPARE(target.text(), QStringLiteral("abcde"));
        QCOMPARE(activeWindow(), target.windowId());
        QVERIFY(QApplication::activeWindow() == nullptr);
    }

    void aboveOtherWindowsOnEveryDesktop()
    {
        XQuery x;
        QVERIFY(x.isOpen());
        PasteTarget target;
        QVERIFY(target.start());
        QWidget* panel = showBar();
        const Window bar = x.topLevel(Window(panel->winId()));
        const Window frame = x.topLevel(Window(target.windowId().toULongLong(nullptr, 16)));

        // The application is brought to the front again: the bar stays above it.
        QVERIFY(target.activate());
        QTest::qWait(100);
        QVERIFY(x.stackIndex(bar) > x.stackIndex(frame));

        // Another desktop: the application's window goes, the bar stays.
        QVERIFY(xdotool({QStringLiteral("set_desktop"), QStringLiteral("1")}));
        QTRY_VERIFY(!x.isViewable(frame));
        QVERIFY(x.isViewable(bar));
        overlay->show(QStringLiteral("✓ 貼り付けました"));
        QTest::qWait(100);
        QVERIFY(x.isViewable(bar));
    }

    void messagesLetClicksThrough()
    {
        XQuery x;
        QVERIFY(x.isOpen());
        PasteTarget target;
        QVERIFY(target.start());
        const Window frame = x.topLevel(Window(target.windowId().toULongLong(nullptr, 16)));
        // Put the application's window where the bar appears.
        overlay->show(QStringLiteral("準備ができました"));
        QWidget* panel = overlay->panel();
        QTRY_VERIFY(panel->isVisible());
        const QPoint centre = panel->geometry().center();
        xdotool({QStringLiteral("windowmove"), target.windowId(), QString::number(centre.x() - 100),
                 QString::number(centre.y() - 100)});
        QTest::qWait(200);
        const Window bar = x.topLevel(Window(panel->winId()));

        moveMouse(centre);
        QTRY_COMPARE(x.underPointer(), frame);  // the message is not there for the mouse

        showBar();
        moveMouse(panel->mapToGlobal(QPoint(200, 75)));
        QTRY_COMPARE(x.underPointer(), bar);

        // The bar grows by the update notice while it shows: its new bottom
        // strip catches the mouse too.
        overlay->newerVersion = [] { return std::optional<QString>(QStringLiteral("2.0")); };
        showBar();
        QCOMPARE(panel->height(), 136);
        moveMouse(panel->mapToGlobal(QPoint(200, 128)));
        QTRY_COMPARE(x.underPointer(), bar);
    }
};

QTEST_MAIN(TestOverlayX11)
#include "tst_OverlayX11.moc"
