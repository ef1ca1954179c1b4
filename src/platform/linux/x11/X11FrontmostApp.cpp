#include "platform/linux/x11/X11FrontmostApp.h"

#include "platform/linux/x11/X11Errors.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <unistd.h>

namespace {

// One WINDOW or CARDINAL value of a property; 0 when absent or unreadable
// (the window may be gone).
unsigned long readCardinal(Display* display, Window window, const char* name, Atom type)
{
    const Atom property = XInternAtom(display, name, False);
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, window, property, 0, 1, False, type, &actualType, &format, &count,
                                          &remaining, &data);
    unsigned long value = 0;
    if (status == Success && data && actualType == type && format == 32 && count == 1)
        value = reinterpret_cast<unsigned long*>(data)[0];
    if (data)
        XFree(data);
    return value;
}

// The running window manager's check window, or 0 when the root's property is
// missing or stale.
Window windowManagerCheck(Display* display)
{
    const Window root = DefaultRootWindow(display);
    const Window check = readCardinal(display, root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    if (check == 0)
        return 0;
    return readCardinal(display, check, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW) == check ? check : 0;
}

bool readClassHint(Display* display, Window window, QString& windowClass, QString& windowInstance)
{
    XClassHint hint{};
    if (!XGetClassHint(display, window, &hint))
        return false;
    windowInstance = hint.res_name ? QString::fromLocal8Bit(hint.res_name) : QString();
    windowClass = hint.res_class ? QString::fromLocal8Bit(hint.res_class) : QString();
    if (hint.res_name)
        XFree(hint.res_name);
    if (hint.res_class)
        XFree(hint.res_class);
    return true;
}

// Without a window manager: the window holding the input focus, followed up
// to the first window with a class hint.
Window focusedTopLevel(Display* display)
{
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    const Window root = DefaultRootWindow(display);
    for (int depth = 0; focus != None && focus != PointerRoot && focus != root && depth < 32; ++depth) {
        QString windowClass, windowInstance;
        if (readClassHint(display, focus, windowClass, windowInstance))
            return focus;
        Window parentRoot = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, focus, &parentRoot, &parent, &children, &count))
            return 0;
        if (children)
            XFree(children);
        focus = parent;
    }
    return 0;
}

// Whether the window names a computer other than this one as the one its
// program runs on (WM_CLIENT_MACHINE): an `ssh -X` window, whose process id
// means nothing here. A window that does not say counts as local.
bool runsElsewhere(Display* display, Window window)
{
    XTextProperty machine{};
    if (!XGetWMClientMachine(display, window, &machine))
        return false;
    const QString name = machine.value && machine.format == 8
                             ? QString::fromLocal8Bit(reinterpret_cast<const char*>(machine.value), int(machine.nitems))
                             : QString();
    if (machine.value)
        XFree(machine.value);
    char host[256] = {};
    if (name.isEmpty() || ::gethostname(host, sizeof host - 1) != 0)
        return false;
    return name.compare(QString::fromLocal8Bit(host), Qt::CaseInsensitive) != 0;
}

}  // namespace

X11FrontmostApp::X11FrontmostApp(QStringList applicationFolders) : names_(std::move(applicationFolders)) {}

X11FrontmostApp::~X11FrontmostApp()
{
    if (display_) {
        X11Errors::forget(display_);
        XCloseDisplay(display_);
    }
}

bool X11FrontmostApp::connect()
{
    if (display_)
        return true;
    display_ = XOpenDisplay(nullptr);
    if (!display_)
        return false;
    X11Errors::ignoreOn(display_);
    return true;
}

std::optional<FrontmostAppInfo> X11FrontmostApp::current()
{
    std::lock_guard guard(lock_);
    if (!connect())
        return std::nullopt;
    Display* display = display_;

    Window window = 0;
    if (windowManagerCheck(display) != 0)
        window = readCardinal(display, DefaultRootWindow(display), "_NET_ACTIVE_WINDOW", XA_WINDOW);
    else
        window = focusedTopLevel(display);
    if (window == 0)
        return std::nullopt;

    FrontmostAppInfo info;
    if (!readClassHint(display, window, info.windowClass, info.windowInstance)) {
        // The window has gone, or never said what it is.
        Window parentRoot = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, window, &parentRoot, &parent, &children, &count))
            return std::nullopt;
        if (children)
            XFree(children);
    }
    info.remote = runsElsewhere(display, window);
    if (!info.remote)
        info.pid = qint64(readCardinal(display, window, "_NET_WM_PID", XA_CARDINAL));
    if (const auto entry = names_.entryFor(info.windowClass, info.windowInstance)) {
        info.name = entry->name;
        info.categories = entry->categories;
    }
    if (info.name.isEmpty())
        info.name = !info.windowClass.isEmpty() ? info.windowClass : info.windowInstance;
    return info;
}
