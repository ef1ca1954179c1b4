#pragma once

#include <QByteArray>
#include <QList>

struct _XDisplay;

// Real key events through XTest, as the user would type them, for tests
// inside scripts/desktop-session. Keys are named by keysym ("Alt_L", "Alt_R",
// "Shift_R", "Escape", "c"); each call returns once the X server has taken
// the event. Unlike `xdotool keydown Shift_R`, a right-hand modifier presses
// that key alone. Keys still held when the object goes are let go.
//
// By default the keys come from the XTest keyboard, the same device Sayri's
// own paste keystroke uses. XTestKeys(XTestKeys::physicalKeyboard) sends them
// through the X server's own keyboard device instead ("Xvfb keyboard" in the
// desktop session), as a real keyboard would; isOpen() is false where there
// is no such device.
class XTestKeys {
public:
    enum Device { xtestKeyboard, physicalKeyboard };
    explicit XTestKeys(Device device = xtestKeyboard);
    ~XTestKeys();
    XTestKeys(const XTestKeys&) = delete;
    XTestKeys& operator=(const XTestKeys&) = delete;

    bool isOpen() const { return display_ != nullptr; }

    void down(const char* keysym) { send(keycodeOf(keysym), true); }
    void up(const char* keysym) { send(keycodeOf(keysym), false); }
    void tap(const char* keysym)
    {
        down(keysym);
        up(keysym);
    }
    void downCode(int keycode) { send(keycode, true); }
    void upCode(int keycode) { send(keycode, false); }
    int keycodeOf(const char* keysym) const;

private:
    void send(int keycode, bool press);

    _XDisplay* display_ = nullptr;
    void* device_ = nullptr;  // XDevice* of the physical keyboard
    QList<int> held_;
};
