#include "platform/linux/x11/X11KeyboardAccess.h"

#include "platform/PlatformWords.h"
#include "platform/linux/x11/WaylandSession.h"
#include "store/Log.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

bool X11KeyboardAccess::trusted()
{
    if (known_)
        return true;
    if (WaylandSession::detected()) {
        // Xwayland would open, but it hears only the keys of X11 windows.
        if (!toldWayland_)
            Log::write(QStringLiteral("Wayland のセッションです。") + PlatformWords::keySourceAdvice().join(QString()));
        toldWayland_ = true;
        return false;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    int opcode = 0, event = 0, error = 0;
    bool ok = XQueryExtension(display, "XInputExtension", &opcode, &event, &error);
    if (ok) {
        int major = 2, minor = 0;
        ok = XIQueryVersion(display, &major, &minor) == Success;
    }
    XCloseDisplay(display);
    known_ = ok;
    return ok;
}
