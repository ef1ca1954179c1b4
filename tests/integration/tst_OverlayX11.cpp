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

bool xdotool(const QStringList& args)
{
    return QProcess::execute(QStringLiteral("xdotool"), args) == 0;
}

void moveMouse(QPoint p)
{
    xdotool({QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y())});
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

    // The children of `w`, bottom first; `parent` is set to its parent, or 0
    // when that is the root window.
    QList<Window> children(Window w, Window* parent = nullptr) const
    {
        Window root = 0, up = 0, *list = nullptr;
        unsigned int n = 0;
        QList<Window> out;
        if (XQueryTree(d_, w, &root, &up, &list, &n) && list) {
            out = QList<Window>(list, list + n);
            XFree(list);
        }
        if (parent)
            *parent = up == root ? 0 : up;
        return out;
    }
    // The child of the root window that holds `w` (its frame, when managed).
    Window topLevel(const QString& id) const
    {
        Window w = id.toULongLong(nullptr, 0);
        for (Window parent = w; parent != 0; children(w, &parent))
            w = parent;
        return w;
    }
    qsizetype stackIndex(Window w) const { return children(DefaultRootWindow(d_)).indexOf(w); }
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
        QWidget* panel = showBar();
        keys.tap("a");
        QTRY_COMPARE(target.text(), QStringLiteral("a"));

        // Clicking the bar's background and its stop button takes nothing
        // away, nor do live text and a message.
        int stops = 0;
        connect(overlay.get(), &OverlayView::stopClicked, this, [&stops] { ++stops; });
        for (const QPoint p : {QPoint(200, 75), QPoint(369, 92)}) {
            moveMouse(panel->mapToGlobal(p));
            xdotool({QStringLiteral("click"), QStringLiteral("1")});
        }
        QTRY_COMPARE(stops, 1);
        overlay->updateLiveText(QStringLiteral("ライブの文字"));
        overlay->updateLevel(0.4f);
        keys.tap("b");
        overlay->show(QStringLiteral("文字起こし中…"));
        keys.tap("c");
        QTRY_COMPARE(target.text(), QStringLiteral("abc"));
        QVERIFY(ScreenWindow::isActive(target.windowId()));
        QVERIFY(QApplication::activeWindow() == nullptr);
    }

    void aboveOtherWindowsOnEveryDesktop()
    {
        XQuery x;
        QVERIFY(x.isOpen());
        PasteTarget target;
        QVERIFY(target.start());
        QWidget* panel = showBar();
        const Window bar = x.topLevel(QString::number(panel->winId()));
        const Window frame = x.topLevel(target.windowId());

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
        const Window frame = x.topLevel(target.windowId());
        // Put the application's window where the bar appears.
        overlay->show(QStringLiteral("準備ができました"));
        QWidget* panel = overlay->panel();
        QTRY_VERIFY(panel->isVisible());
        const QPoint centre = panel->geometry().center();
        xdotool({QStringLiteral("windowmove"), target.windowId(), QString::number(centre.x() - 100),
                 QString::number(centre.y() - 100)});
        QTest::qWait(200);
        const Window bar = x.topLevel(QString::number(panel->winId()));

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
