#pragma once

#include "platform/KeySource.h"

#include <memory>

// The global keyboard on X11: raw key events of every master keyboard,
// selected on the root window through XInput2 on a connection of our own, read
// from the main thread's event loop. Raw events are reports, not deliveries:
// the focused window still receives every key.
//
// Keys are classified by their keysym under the current keymap (followed
// through keymap changes) and turned into macOS key codes and flag masks:
// Alt left/right 58/61 (Option), Control 59/62, Shift 56/60, Super 55/54
// (Command), Caps Lock 57, Escape 53. Modifier state is kept from the raw
// events themselves; a held modifier's repeats are not new presses; keys that
// Sayri injected itself are left out. A right Alt that the layout makes AltGr
// (ISO_Level3_Shift) is still the right Alt.
class X11KeySource : public KeySource {
public:
    X11KeySource();
    ~X11KeySource() override;

    bool open() override;
    bool isOpen() const override;
    void enable() override;
    bool hasKey(std::int64_t keyCode) const override;

    struct Connection;

private:
    void drain();

    std::unique_ptr<Connection> c_;
};
