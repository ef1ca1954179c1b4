#include "platform/linux/x11/X11KeySource.h"

#include "platform/linux/x11/X11Errors.h"
#include "platform/linux/x11/X11InjectedKeys.h"

#include <QByteArray>
#include <QSocketNotifier>

#include <array>
#include <bitset>
#include <cstring>
#include <set>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

namespace {

struct KeyRole {
    enum Kind { other, modifier, capsLock, escape } kind = other;
    std::int64_t code = MacKey::otherKey;
    std::uint64_t flag = 0;
};

KeyRole roleOf(KeySym sym)
{
    using namespace MacKey;
    switch (sym) {
    case XK_Alt_L:
    case XK_Meta_L:
        return {KeyRole::modifier, option, optionFlag};
    case XK_Alt_R:
    case XK_Meta_R:
    case XK_ISO_Level3_Shift:
        return {KeyRole::modifier, rightOption, optionFlag};
    case XK_Control_L:
        return {KeyRole::modifier, control, controlFlag};
    case XK_Control_R:
        return {KeyRole::modifier, rightControl, controlFlag};
    case XK_Shift_L:
        return {KeyRole::modifier, shift, shiftFlag};
    case XK_Shift_R:
        return {KeyRole::modifier, rightShift, shiftFlag};
    case XK_Super_L:
        return {KeyRole::modifier, command, commandFlag};
    case XK_Super_R:
        return {KeyRole::modifier, rightCommand, commandFlag};
    case XK_Caps_Lock:
        return {KeyRole::capsLock, MacKey::capsLock, capsLockFlag};
    case XK_Escape:
        return {KeyRole::escape, escape, 0};
    default:
        return {};
    }
}

// The keycodes xkeyboard-config reserves for binding modifiers to ("fake
// keycodes for virtual keys"): they carry ISO_Level3_Shift, Alt_L, Super_L
// and the like in every layout, but no keyboard sends them.
bool isVirtualKey(const char (&name)[XkbKeyNameLength])
{
    static const char* const names[] = {"LVL3", "MDSW", "ALT", "META", "SUPR", "HYPR"};
    for (const char* v : names) {
        if (std::strncmp(name, v, XkbKeyNameLength) == 0)
            return true;
    }
    return false;
}

}  // namespace

struct X11KeySource::Connection {
    Display* display = nullptr;
    int xiOpcode = 0;
    int xkbEventBase = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    std::array<KeyRole, 256> roles{};
    std::set<std::int64_t> keysOnKeyboard;  // the codes some real key produces
    std::bitset<256> down;
    std::set<int> injectingDevices;  // the XTEST keyboards
    bool capsLocked = false;

    ~Connection()
    {
        notifier.reset();
        if (display) {
            X11Errors::forget(display);
            XCloseDisplay(display);
        }
    }

    Window root() const { return DefaultRootWindow(display); }

    void selectEvents()
    {
        unsigned char keys[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(keys, XI_RawKeyPress);
        XISetMask(keys, XI_RawKeyRelease);
        unsigned char devices[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(devices, XI_HierarchyChanged);
        XIEventMask masks[2] = {
            {XIAllMasterDevices, int(sizeof keys), keys},
            {XIAllDevices, int(sizeof devices), devices},
        };
        XISelectEvents(display, root(), masks, 2);
        if (xkbEventBase >= 0)
            XkbSelectEvents(display, XkbUseCoreKbd, XkbNewKeyboardNotifyMask | XkbMapNotifyMask,
                            XkbNewKeyboardNotifyMask | XkbMapNotifyMask);
        // Once start() returns the server delivers every key: a key another
        // client sends right after must not overtake the selection.
        XSync(display, False);
    }

    void readKeymap()
    {
        roles.fill(KeyRole{});
        int first = 0, last = 0;
        XDisplayKeycodes(display, &first, &last);
        int perKey = 0;
        KeySym* syms = XGetKeyboardMapping(display, KeyCode(first), last - first + 1, &perKey);
        if (!syms)
            return;
        for (int code = first; code <= last && code < 256; ++code)
            roles[code] = roleOf(syms[(code - first) * perKey]);
        XFree(syms);
        readKeysOnKeyboard(first, last);
    }

    void readKeysOnKeyboard(int first, int last)
    {
        keysOnKeyboard.clear();
        XkbDescPtr desc = xkbEventBase >= 0 ? XkbGetMap(display, 0, XkbUseCoreKbd) : nullptr;
        const bool named =
            desc && XkbGetNames(display, XkbKeyNamesMask, desc) == Success && desc->names && desc->names->keys;
        for (int code = first; code <= last && code < 256; ++code) {
            if (roles[code].kind != KeyRole::other && !(named && isVirtualKey(desc->names->keys[code].name)))
                keysOnKeyboard.insert(roles[code].code);
        }
        if (desc)
            XkbFreeKeyboard(desc, 0, True);
    }

    void readInjectingDevices()
    {
        injectingDevices.clear();
        int count = 0;
        XIDeviceInfo* info = XIQueryDevice(display, XIAllDevices, &count);
        for (int i = 0; i < count; ++i) {
            if (info[i].use == XISlaveKeyboard && QByteArray(info[i].name).contains("XTEST"))
                injectingDevices.insert(info[i].deviceid);
        }
        if (info)
            XIFreeDeviceInfo(info);
    }

    void readHeldKeys()
    {
        char keymap[32] = {};
        XQueryKeymap(display, keymap);
        for (int code = 0; code < 256; ++code)
            down[code] = (keymap[code / 8] >> (code % 8)) & 1;
        XkbStateRec state{};
        if (xkbEventBase >= 0 && XkbGetState(display, XkbUseCoreKbd, &state) == Success)
            capsLocked = state.locked_mods & LockMask;
    }

    std::uint64_t flags() const
    {
        std::uint64_t f = capsLocked ? MacKey::capsLockFlag : 0;
        for (int code = 0; code < 256; ++code) {
            if (down[code] && roles[code].kind == KeyRole::modifier)
                f |= roles[code].flag;
        }
        return f;
    }
};

X11KeySource::X11KeySource() = default;

X11KeySource::~X11KeySource() = default;

bool X11KeySource::isOpen() const
{
    return c_ != nullptr;
}

bool X11KeySource::open()
{
    if (c_)
        return true;
    auto c = std::make_unique<Connection>();
    c->display = XOpenDisplay(nullptr);
    if (!c->display)
        return false;
    X11Errors::ignoreOn(c->display);

    int event = 0, error = 0;
    if (!XQueryExtension(c->display, "XInputExtension", &c->xiOpcode, &event, &error))
        return false;
    // 2.2 or later delivers raw events even while another client grabs the keyboard.
    int major = 2, minor = 2;
    if (XIQueryVersion(c->display, &major, &minor) != Success || major < 2)
        return false;
    int xkbMajor = XkbMajorVersion, xkbMinor = XkbMinorVersion, xkbError = 0, xkbOpcode = 0, xkbEvent = 0;
    if (XkbQueryExtension(c->display, &xkbOpcode, &xkbEvent, &xkbError, &xkbMajor, &xkbMinor))
        c->xkbEventBase = xkbEvent;

    c->readKeymap();
    c->readInjectingDevices();
    c->readHeldKeys();
    c->selectEvents();

    c->notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(c->display), QSocketNotifier::Read);
    QObject::connect(c->notifier.get(), &QSocketNotifier::activated, c->notifier.get(), [this] { drain(); });
    c_ = std::move(c);
    drain();
    return true;
}

bool X11KeySource::hasKey(std::int64_t keyCode) const
{
    return c_ && c_->keysOnKeyboard.count(keyCode) > 0;
}

void X11KeySource::enable()
{
    if (c_)
        c_->selectEvents();
}

void X11KeySource::drain()
{
    Connection& c = *c_;
    while (XPending(c.display) > 0) {
        XEvent event;
        XNextEvent(c.display, &event);

        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            c.readKeymap();
            continue;
        }
        if (c.xkbEventBase >= 0 && event.type == c.xkbEventBase) {
            c.readKeymap();
            continue;
        }
        if (event.type != GenericEvent || event.xcookie.extension != c.xiOpcode)
            continue;
        if (!XGetEventData(c.display, &event.xcookie))
            continue;
        const int type = event.xcookie.evtype;
        if (type == XI_HierarchyChanged) {
            XFreeEventData(c.display, &event.xcookie);
            c.readInjectingDevices();
            continue;
        }
        if (type != XI_RawKeyPress && type != XI_RawKeyRelease) {
            XFreeEventData(c.display, &event.xcookie);
            continue;
        }
        const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
        const int code = raw->detail;
        const bool press = type == XI_RawKeyPress;
        const bool repeat = press && (raw->flags & XIKeyRepeat);
        const bool injected = c.injectingDevices.count(raw->sourceid) > 0;
        XFreeEventData(c.display, &event.xcookie);

        if (code < 0 || code >= 256)
            continue;
        const KeyRole role = c.roles[code];
        // Sayri's own keys: the paste keystroke from the XTest keyboard, the
        // inert key also from the keyboard the user holds the trigger key on.
        if ((injected || role.kind == KeyRole::other) && X11InjectedKeys::consume(code, press))
            continue;

        const bool wasDown = c.down[code];
        c.down[code] = press;
        KeyEvent out;
        switch (role.kind) {
        case KeyRole::modifier:
            // A held modifier's repeats, and a release never pressed, change nothing.
            if (press == wasDown || repeat)
                continue;
            out = {KeyEventType::flagsChanged, role.code, c.flags()};
            break;
        case KeyRole::capsLock:
            if (!press || wasDown || repeat)
                continue;
            c.capsLocked = !c.capsLocked;
            out = {KeyEventType::flagsChanged, role.code, c.flags()};
            break;
        case KeyRole::escape:
        case KeyRole::other:
            if (!press)
                continue;
            out = {KeyEventType::keyDown, role.code, c.flags()};
            break;
        }
        if (onEvent)
            onEvent(out);
    }
}
