#pragma once

#include "platform/FrontmostApp.h"
#include "platform/linux/system/DesktopEntryNames.h"

#include <mutex>

struct _XDisplay;

// The focused application from the window manager's _NET_ACTIVE_WINDOW: its
// _NET_WM_PID (none for a window whose WM_CLIENT_MACHINE names another
// computer), its class hint, a readable name (the desktop entry's Name=
// for that class, else the class itself) and the entry's categories. The window manager's root
// properties count only while _NET_SUPPORTING_WM_CHECK names a live window
// that names itself; otherwise (no window manager, or one that has gone and
// left its properties behind) the X input focus is followed up to its
// top-level window. Safe from any thread; one connection of its own.
class X11FrontmostApp : public FrontmostApp {
public:
    X11FrontmostApp() = default;
    explicit X11FrontmostApp(QStringList applicationFolders);
    ~X11FrontmostApp() override;
    X11FrontmostApp(const X11FrontmostApp&) = delete;
    X11FrontmostApp& operator=(const X11FrontmostApp&) = delete;

    std::optional<FrontmostAppInfo> current() override;

private:
    bool connect();

    std::mutex lock_;
    _XDisplay* display_ = nullptr;
    DesktopEntryNames names_;
};
