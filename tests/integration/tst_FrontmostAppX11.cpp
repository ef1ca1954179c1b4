// The frontmost application as the window manager reports it, and what is
// left when the window manager's properties cannot be trusted.
#include "PasteTarget.h"

#include "platform/linux/X11FrontmostApp.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// Root-window properties of the window manager, changed for the rest of the
// session, and windows made for it (gone with the connection).
class RootProperties {
public:
    RootProperties() : d_(XOpenDisplay(nullptr)) {}
    ~RootProperties() { XCloseDisplay(d_); }
    Window get(const char* name) const
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, rest = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(d_, DefaultRootWindow(d_), XInternAtom(d_, name, False), 0, 1, False, XA_WINDOW, &type,
                           &format, &count, &rest, &data);
        const Window value = data && count == 1 ? reinterpret_cast<unsigned long*>(data)[0] : 0;
        if (data)
            XFree(data);
        return value;
    }
    void set(const char* name, unsigned long value)
    {
        XChangeProperty(d_, DefaultRootWindow(d_), XInternAtom(d_, name, False), XA_WINDOW, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&value), 1);
        XSync(d_, False);
    }
    // A window that claims to be some other application (`gone`: destroyed at once).
    Window window(const char* windowClass, unsigned long pid, bool gone = false)
    {
        const Window w = XCreateSimpleWindow(d_, DefaultRootWindow(d_), 0, 0, 10, 10, 0, 0, 0);
        XClassHint hint{const_cast<char*>(windowClass), const_cast<char*>(windowClass)};
        XSetClassHint(d_, w, &hint);
        XChangeProperty(d_, w, XInternAtom(d_, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&pid), 1);
        if (gone)
            XDestroyWindow(d_, w);
        XSync(d_, False);
        return w;
    }

private:
    Display* d_;
};

}  // namespace

class TestFrontmostAppX11 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void theFocusedWindowsApplication()
    {
        QTemporaryDir applications;
        PasteTarget target({QStringLiteral("Sayri-probe"), QStringLiteral("sayri-probe")});
        QVERIFY(target.start());
        X11FrontmostApp frontmost({applications.path()});
        const FrontmostAppInfo app = frontmost.current().value_or(FrontmostAppInfo{});
        QCOMPARE(app.pid, target.pid());
        QCOMPARE(app.windowClass, QStringLiteral("Sayri-probe"));
        QCOMPARE(app.windowInstance, QStringLiteral("sayri-probe"));
        QCOMPARE(app.name, QStringLiteral("Sayri-probe"));  // no desktop entry: the class

        // A desktop entry added later names it.
        QFile entry(applications.filePath(QStringLiteral("probe-app.desktop")));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=探査アプリ\nStartupWMClass=Sayri-probe\n")
                        .toUtf8());
        entry.close();
        QTest::qWait(20);
        QCOMPARE(frontmost.current().value_or(FrontmostAppInfo{}).name, QStringLiteral("探査アプリ"));
    }

    void noActiveWindow()
    {
        X11FrontmostApp frontmost({QStringLiteral("/nonexistent")});
        {
            PasteTarget target;
            QVERIFY(target.start());
            QVERIFY(frontmost.current());
        }
        // The window manager clears _NET_ACTIVE_WINDOW when the last window closes.
        QTRY_VERIFY(!frontmost.current());
    }

    // Last, as it spoils the window manager's properties: a window manager
    // that has gone left them behind, and the application is followed from
    // the input focus instead.
    void staleWindowManagerPropertiesAreIgnored()
    {
        PasteTarget target;
        QVERIFY(target.start());
        X11FrontmostApp frontmost({QStringLiteral("/nonexistent")});
        RootProperties root;
        QVERIFY(root.get("_NET_SUPPORTING_WM_CHECK") != 0);
        root.set("_NET_ACTIVE_WINDOW", root.window("Stale-app", 4242));
        root.set("_NET_SUPPORTING_WM_CHECK", root.window("Gone", 1, true));
        const FrontmostAppInfo app = frontmost.current().value_or(FrontmostAppInfo{});
        QCOMPARE(app.pid, target.pid());
        QCOMPARE(app.windowClass, QStringLiteral("Sayri-paste-target"));
    }
};

QTEST_MAIN(TestFrontmostAppX11)
#include "tst_FrontmostAppX11.moc"
