#include "platform/linux/x11/X11KeySynthesizer.h"

#include "platform/linux/x11/X11Errors.h"
#include "platform/linux/x11/X11InjectedKeys.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput.h>
#include <X11/extensions/XInput2.h>
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

// The keyboard (other than XTest's own) that holds a key down right now, opened;
// none when no such keyboard holds one.
XDevice* keyboardHoldingAKey(Display* display)
{
    int count = 0;
    XIDeviceInfo* info = XIQueryDevice(display, XIAllDevices, &count);
    XDevice* holding = nullptr;
    for (int i = 0; i < count && !holding; ++i) {
        if (info[i].use != XISlaveKeyboard || std::strstr(info[i].name, "XTEST"))
            continue;
        XDevice* device = XOpenDevice(display, XID(info[i].deviceid));
        XDeviceState* state = device ? XQueryDeviceState(display, device) : nullptr;
        auto* cls = state ? state->data : nullptr;
        for (int c = 0; state && c < state->num_classes && !holding; ++c) {
            if (cls->c_class == KeyClass) {
                const auto* keys = reinterpret_cast<XKeyState*>(cls);
                for (int b = 0; b < (keys->num_keys + 7) / 8 && !holding; ++b)
                    holding = keys->keys[b] ? device : nullptr;
            }
            cls = reinterpret_cast<XInputClass*>(reinterpret_cast<char*>(cls) + cls->length);
        }
        if (state)
            XFreeDeviceState(state);
        if (device && !holding)
            XCloseDevice(display, device);
    }
    if (info)
        XIFreeDeviceInfo(info);
    return holding;
}

struct Keystroke {
    std::vector<KeyCode> modifiers;
    KeyCode key = 0;
    KeyCode before = 0;  // a key tapped alone first, if any
};

// The keys of `keystroke` under the current keymap; no key when one is missing.
Keystroke keysOf(Display* display, PasteKeystroke keystroke)
{
    const KeyCode control = XKeysymToKeycode(display, XK_Control_L);
    const KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
    Keystroke keys;
    switch (keystroke) {
    case PasteKeystroke::controlV:
        keys = {{control}, XKeysymToKeycode(display, XK_v)};
        break;
    case PasteKeystroke::editThenControlV:
        keys = {{control}, XKeysymToKeycode(display, XK_v), XKeysymToKeycode(display, XK_F2)};
        if (keys.before == 0)
            keys.key = 0;
        break;
    case PasteKeystroke::controlShiftV:
        keys = {{control, shift}, XKeysymToKeycode(display, XK_v)};
        break;
    case PasteKeystroke::shiftInsert:
        keys = {{shift}, XKeysymToKeycode(display, XK_Insert)};
        break;
    }
    if (std::find(keys.modifiers.begin(), keys.modifiers.end(), 0) != keys.modifiers.end())
        keys.key = 0;
    return keys;
}

// Whether an input method serves the display: one has registered as an X
// input method server and still owns its selection.
bool inputMethodRuns(Display* display)
{
    const Atom servers = XInternAtom(display, "XIM_SERVERS", True);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (servers == None
        || XGetWindowProperty(display, DefaultRootWindow(display), servers, 0, 64, False, XA_ATOM, &type, &format,
                              &count, &after, &data) != Success
        || !data)
        return false;
    bool owned = false;
    for (unsigned long i = 0; i < count && format == 32; ++i)
        owned = owned || XGetSelectionOwner(display, reinterpret_cast<Atom*>(data)[i]) != None;
    XFree(data);
    return owned;
}

}  // namespace

X11KeySynthesizer::~X11KeySynthesizer()
{
    if (display_) {
        giveFocusBack();
        X11Errors::forget(display_);
        XCloseDisplay(display_);
    }
}

// Opens the connection once; then reads what arrived on it: nothing is
// selected but Xlib's own keymap notifications, which keep its keymap current.
bool X11KeySynthesizer::connect()
{
    if (!display_) {
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
    }
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            inertKey_ = -1;
        }
    }
    return true;
}

bool X11KeySynthesizer::canSend(PasteKeystroke keystroke)
{
    return connect() && keysOf(display_, keystroke).key != 0;
}

bool X11KeySynthesizer::sendPasteKeystroke(PasteKeystroke keystroke)
{
    if (!connect())
        return false;
    giveFocusBack();
    Display* display = display_;
    const Keystroke keys = keysOf(display, keystroke);
    if (keys.key == 0)
        return false;

    // The focused window must see the keystroke's modifiers only: a trigger
    // key still held would turn it into another shortcut.
    const std::vector<KeyCode> held = heldModifierKeys(display);
    for (KeyCode code : held)
        send(display, code, false);
    // A key that this device pressed again for the user (below, last time)
    // and the user then let go on the keyboard itself stays down for the
    // XTest device, which would swallow our next press of it. Letting it go
    // first costs nothing when it is up.
    std::vector<KeyCode> own = keys.modifiers;
    own.push_back(keys.key);
    if (keys.before)
        own.push_back(keys.before);
    for (KeyCode code : own) {
        if (std::find(held.begin(), held.end(), code) == held.end())
            send(display, code, false);
    }
    if (keys.before) {
        send(display, keys.before, true);
        send(display, keys.before, false);
    }
    for (KeyCode code : keys.modifiers)
        send(display, code, true);
    send(display, keys.key, true);
    send(display, keys.key, false);
    for (auto it = keys.modifiers.rbegin(); it != keys.modifiers.rend(); ++it)
        send(display, *it, false);
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        send(display, *it, true);
    XFlush(display);
    return true;
}

int X11KeySynthesizer::finishComposition()
{
    if (!connect() || !inputMethodRuns(display_))
        return 0;
    Window focus = None;
    int revert = RevertToParent;
    XGetInputFocus(display_, &focus, &revert);
    if (focus == None || focus == PointerRoot)
        return 0;
    if (focus != away_) {  // (still away: two pastes in a row)
        if (!away_) {
            XSetWindowAttributes attributes{};
            attributes.override_redirect = True;
            away_ = XCreateWindow(display_, DefaultRootWindow(display_), -10, -10, 1, 1, 0, 0, InputOnly,
                                  CopyFromParent, CWOverrideRedirect, &attributes);
        }
        focusBefore_ = focus;
        revertBefore_ = revert;
        XMapWindow(display_, away_);
        XSetInputFocus(display_, away_, RevertToParent, CurrentTime);
        XFlush(display_);
    }
    return compositionMs;
}

// Back to the window the focus came from, unless someone else took it
// meanwhile (the user clicked another window).
void X11KeySynthesizer::giveFocusBack()
{
    if (!focusBefore_)
        return;
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    if (focus == away_)
        XSetInputFocus(display_, focusBefore_, revertBefore_, CurrentTime);
    XUnmapWindow(display_, away_);
    XFlush(display_);
    focusBefore_ = 0;
}

int X11KeySynthesizer::keycodeWithoutSymbol(Display* display)
{
    int first = 0, last = 0;
    XDisplayKeycodes(display, &first, &last);
    int perKey = 0;
    KeySym* syms = XGetKeyboardMapping(display, KeyCode(first), last - first + 1, &perKey);
    if (!syms)
        return 0;
    int found = 0;
    for (int code = last; code >= first && found == 0; --code) {
        bool empty = true;
        for (int i = 0; i < perKey; ++i)
            empty = empty && syms[(code - first) * perKey + i] == NoSymbol;
        if (empty)
            found = code;
    }
    XFree(syms);
    return found;
}

void X11KeySynthesizer::sendInertKey()
{
    if (!connect())
        return;
    if (inertKey_ < 0)
        inertKey_ = keycodeWithoutSymbol(display_);
    if (inertKey_ == 0)
        return;
    // Sent as from the keyboard the user holds the trigger key on: a key from
    // another device makes the X server switch the keyboard's keymap to that
    // device's and back, which every program on the display is told of.
    if (XDevice* keyboard = keyboardHoldingAKey(display_)) {
        for (const bool press : {true, false}) {
            X11InjectedKeys::expect(inertKey_, press);
            XTestFakeDeviceKeyEvent(display_, keyboard, unsigned(inertKey_), press, nullptr, 0, CurrentTime);
        }
        XCloseDevice(display_, keyboard);
    } else {
        send(display_, KeyCode(inertKey_), true);
        send(display_, KeyCode(inertKey_), false);
    }
    XFlush(display_);
}
