#pragma once

#include "platform/KeySynthesizer.h"
#include "platform/linux/input/Keymap.h"

#include <optional>

// The paste keystroke through a keyboard of Sayri's own made with the
// kernel's uinput (/dev/uinput, writable for the seat's user through the
// udev rule Sayri's package installs): it works in any session, Wayland or
// X11, because the desktop takes it for a keyboard plugged in. The device is
// made once, at start, so that the desktop has taken it in by the first
// paste. Keys are pressed by the code that types their symbol under the
// user's layout (XKB_DEFAULT_LAYOUT and its kin, else the system's
// /etc/default/keyboard, else "us"). Main thread only.
class UinputKeys : public KeySynthesizer {
public:
    UinputKeys();
    ~UinputKeys() override;

    bool canSend(PasteKeystroke keystroke) override;
    bool sendPasteKeystroke(PasteKeystroke keystroke) override;
    void sendInertKey() override {}

    // The layout the system names in /etc/default/keyboard, where the
    // environment names none.
    static std::optional<Keymap> userLayout(const QString& defaultsFile = QStringLiteral("/etc/default/keyboard"));

private:
    QList<Keymap::Key> keysOf(PasteKeystroke keystroke) const;
    void put(std::uint16_t type, std::uint16_t code, int value);

    int fd_ = -1;
    std::optional<Keymap> keymap_;
};
