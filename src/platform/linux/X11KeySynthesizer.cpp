#include "platform/linux/X11KeySynthesizer.h"

#include "platform/linux/X11Errors.h"
#include "platform/linux/X11InjectedKeys.h"

#include <algorithm>
#include <vector>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

bool isLockKey(KeySym sym)
{
    return sym == XK_Caps_Lock || sym == XK_Shift_Lock || sym == XK_Num_Lock || sym == XK_Scroll_Lock;
}

// Modifier keys held right now (Shift, Control, Mod1 to Mod5; lock keys are
// states, not held keys, and are left alone).
std::vector<KeyCode> heldModifierKeys(Display* display)
{
    std::vector<KeyCode> held;
    char keymap[32] = {};
    XQueryKeymap(display, keymap);
    XModifierKeymap* modifiers = XGetModifierMapping(display);
    if (!modifiers)
        return held;
    for (int index = 0; index < 8; ++index) {
        if (index == LockMapIndex)
            continue;
        for (int i = 0; i < modifiers->max_keypermod; ++i) {
            const KeyCode code = modifiers->modifiermap[index * modifiers->max_keypermod + i];
            if (code == 0 || !((keymap[code / 8] >> (code % 8)) & 1))
                continue;
            if (isLockKey(XkbKeycodeToKeysym(display, code, 0, 0)))
                continue;
            bool listed = false;
            for (KeyCode h : held)
                listed = listed || h == code;
            if (!listed)
                held.push_back(code);
        }
    }
    XFreeModifiermap(modifiers);
    return held;
}

void send(Display* display, KeyCode code, bool press)
{
    X11InjectedKeys::expect(code, press);
    XTestFakeKeyEvent(display, code, press ? True : False, CurrentTime);
}

}  // namespace

X11KeySynthesizer::~X11KeySynthesizer()
{
    if (display_) {
        X11Errors::forget(display_);
        XCloseDisplay(display_);
    }
}

bool X11KeySynthesizer::connect()
{
    if (display_)
        return true;
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
        XCloseDisplay(display);
        return false;
    }
    X11Errors::ignoreOn(display);
    display_ = display;
    return true;
}

bool X11KeySynthesizer::sendPasteKeystroke(bool withShift)
{
    if (!connect())
        return false;
    Display* display = display_;
    // Nothing is selected on this connection but Xlib's own keymap
    // notifications; reading them keeps its keymap current.
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MappingNotify)
            XRefreshKeyboardMapping(&event.xmapping);
    }

    const KeyCode control = XKeysymToKeycode(display, XK_Control_L);
    const KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
    const KeyCode v = XKeysymToKeycode(display, XK_v);
    if (!control || !v || (withShift && !shift))
        return false;

    // The focused window must see Control (and Shift) only: a trigger key
    // still held would turn the keystroke into another shortcut.
    const std::vector<KeyCode> held = heldModifierKeys(display);
    for (KeyCode code : held)
        send(display, code, false);
    // A key that this device pressed again for the user (below, last time)
    // and the user then let go on the keyboard itself stays down for the
    // XTest device, which would swallow our next press of it. Letting it go
    // first costs nothing when it is up.
    for (KeyCode code : {control, shift, v}) {
        if ((code != shift || withShift) && std::find(held.begin(), held.end(), code) == held.end())
            send(display, code, false);
    }
    send(display, control, true);
    if (withShift)
        send(display, shift, true);
    send(display, v, true);
    send(display, v, false);
    if (withShift)
        send(display, shift, false);
    send(display, control, false);
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        send(display, *it, true);
    XFlush(display);
    return true;
}
