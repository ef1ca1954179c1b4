#include "XTestKeys.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

XTestKeys::XTestKeys(Device device) : display_(XOpenDisplay(nullptr))
{
    if (!display_ || device == xtestKeyboard)
        return;
    int count = 0;
    XIDeviceInfo* info = XIQueryDevice(display_, XIAllDevices, &count);
    int id = 0;
    for (int i = 0; i < count && id == 0; ++i) {
        if (info[i].use == XISlaveKeyboard && !QByteArray(info[i].name).contains("XTEST"))
            id = info[i].deviceid;
    }
    if (info)
        XIFreeDeviceInfo(info);
    if (id != 0)
        device_ = XOpenDevice(display_, XID(id));
    if (!device_) {
        XCloseDisplay(display_);
        display_ = nullptr;
    }
}

XTestKeys::~XTestKeys()
{
    if (!display_)
        return;
    for (int code : QList<int>(held_))
        send(code, false);
    if (device_)
        XCloseDevice(display_, static_cast<XDevice*>(device_));
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
    if (device_)
        XTestFakeDeviceKeyEvent(display_, static_cast<XDevice*>(device_), unsigned(keycode), press ? True : False,
                                nullptr, 0, CurrentTime);
    else
        XTestFakeKeyEvent(display_, unsigned(keycode), press ? True : False, CurrentTime);
    XSync(display_, False);
    if (press && !held_.contains(keycode))
        held_.append(keycode);
    if (!press)
        held_.removeAll(keycode);
}
