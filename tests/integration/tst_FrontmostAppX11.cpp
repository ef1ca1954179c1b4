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

// Root-window properties of the window manager, changed for one test and put back.
class RootProperties {
public:
    RootProperties() : display_(XOpenDisplay(nullptr)) {}
    ~RootProperties()
    {
        if (!display_)
            return;
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            setWindow(it->first, it->second);
        for (Window w : created_)
            XDestroyWindow(display_, w);
        XSync(display_, False);
        XCloseDisplay(display_);
    }
    Window window(const char* name) const
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, rest = 0;
        unsigned char* data = nullptr;
        Window value = 0;
        if (XGetWindowProperty(display_, root(), XInternAtom(display_, name, False), 0, 1, False, XA_WINDOW, &type,
                               &format, &count, &rest, &data) == Success && data && count == 1)
            value = reinterpret_cast<unsigned long*>(data)[0];
        if (data)
            XFree(data);
        return value;
    }
    void replace(const char* name, Window value)
    {
        saved_.append({name, window(name)});
        setWindow(name, value);
    }
    // A window that claims to be some other application.
    Window decoy(const char* windowClass, unsigned long pid)
    {
        const Window w = XCreateSimpleWindow(display_, root(), 0, 0, 10, 10, 0, 0, 0);
        XClassHint hint{const_cast<char*>(windowClass), const_cast<char*>(windowClass)};
        XSetClassHint(display_, w, &hint);
        XChangeProperty(display_, w, XInternAtom(display_, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&pid), 1);
        XSync(display_, False);
        created_.append(w);
        return w;
    }
    // An id that named a window once and names none now.
    Window gone()
    {
        const Window w = XCreateSimpleWindow(display_, root(), 0, 0, 10, 10, 0, 0, 0);
        XDestroyWindow(display_, w);
        XSync(display_, False);
        return w;
    }

private:
    Window root() const { return DefaultRootWindow(display_); }
    void setWindow(const char* name, Window value)
    {
        unsigned long v = value;
        XChangeProperty(display_, root(), XInternAtom(display_, name, False), XA_WINDOW, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&v), 1);
        XSync(display_, False);
    }

    Display* display_;
    QList<QPair<const char*, Window>> saved_;
    QList<Window> created_;
};

}  // namespace

class tst_FrontmostAppX11 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void theFocusedWindowsApplication()
    {
        QTemporaryDir applications;
        PasteTarget target({QStringLiteral("Sayri-probe"), QStringLiteral("sayri-probe"), false, false});
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
        entry.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=探査アプリ\nStartupWMClass=Sayri-probe\n").toUtf8());
        entry.close();
        QTest::qWait(20);
        QCOMPARE(frontmost.current().value_or(FrontmostAppInfo{}).name, QStringLiteral("探査アプリ"));
    }

    // A window manager that has gone left its properties behind: the
    // application is followed from the input focus instead.
    void staleWindowManagerPropertiesAreIgnored()
    {
        PasteTarget target;
        QVERIFY(target.start());
        X11FrontmostApp frontmost({QStringLiteral("/nonexistent")});
        RootProperties root;
        QVERIFY(root.window("_NET_SUPPORTING_WM_CHECK") != 0);
        root.replace("_NET_ACTIVE_WINDOW", root.decoy("Stale-app", 4242));
        root.replace("_NET_SUPPORTING_WM_CHECK", root.gone());
        const FrontmostAppInfo app = frontmost.current().value_or(FrontmostAppInfo{});
        QCOMPARE(app.pid, target.pid());
        QCOMPARE(app.windowClass, QStringLiteral("Sayri-paste-target"));
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
};

QTEST_MAIN(tst_FrontmostAppX11)
#include "tst_FrontmostAppX11.moc"
