#include "platform/linux/X11KeyboardAccess.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

bool X11KeyboardAccess::trusted()
{
    if (known_)
        return true;
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
