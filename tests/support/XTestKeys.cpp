#include "XTestKeys.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

XTestKeys::XTestKeys() : display_(XOpenDisplay(nullptr)) {}

XTestKeys::~XTestKeys()
{
    if (!display_)
        return;
    releaseAll();
    for (int code : QList<int>(mapped_))
        unmap(code);
    XCloseDisplay(display_);
}

int XTestKeys::keycodeOf(const char* keysym) const
{
    if (!display_)
        return 0;
    const KeySym sym = XStringToKeysym(keysym);
    return sym == NoSymbol ? 0 : XKeysymToKeycode(display_, sym);
}

void XTestKeys::send(int keycode, bool press)
{
    if (!display_ || keycode <= 0)
        return;
    XTestFakeKeyEvent(display_, unsigned(keycode), press ? True : False, CurrentTime);
    XSync(display_, False);
    if (press && !held_.contains(keycode))
        held_.append(keycode);
    if (!press)
        held_.removeAll(keycode);
}

void XTestKeys::down(const char* keysym) { send(keycodeOf(keysym), true); }
void XTestKeys::up(const char* keysym) { send(keycodeOf(keysym), false); }
void XTestKeys::downCode(int keycode) { send(keycode, true); }
void XTestKeys::upCode(int keycode) { send(keycode, false); }

void XTestKeys::tap(const char* keysym)
{
    down(keysym);
    up(keysym);
}

void XTestKeys::releaseAll()
{
    for (int code : QList<int>(held_))
        send(code, false);
}

int XTestKeys::mapSpareKeycode(const char* keysym)
{
    if (!display_)
        return 0;
    int first = 0, last = 0;
    XDisplayKeycodes(display_, &first, &last);
    int perKey = 0;
    KeySym* syms = XGetKeyboardMapping(display_, KeyCode(first), last - first + 1, &perKey);
    if (!syms)
        return 0;
    int spare = 0;
    for (int code = last; code >= first && spare == 0; --code) {
        bool empty = true;
        for (int i = 0; i < perKey; ++i)
            empty = empty && syms[(code - first) * perKey + i] == NoSymbol;
        if (empty)
            spare = code;
    }
    XFree(syms);
    if (spare == 0)
        return 0;
    KeySym sym = XStringToKeysym(keysym);
    XChangeKeyboardMapping(display_, spare, 1, &sym, 1);
    XSync(display_, False);
    mapped_.append(spare);
    return spare;
}

void XTestKeys::unmap(int keycode)
{
    if (!display_ || !mapped_.contains(keycode))
        return;
    KeySym none = NoSymbol;
    XChangeKeyboardMapping(display_, keycode, 1, &none, 1);
    XSync(display_, False);
    mapped_.removeAll(keycode);
}
