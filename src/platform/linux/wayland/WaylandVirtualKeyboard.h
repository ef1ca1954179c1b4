#pragma once

#include "platform/KeySynthesizer.h"

#include <memory>

// The paste keystroke on a wlroots compositor (sway and its kin), through one
// virtual keyboard (zwp_virtual_keyboard_v1) made when the compositor's global
// is bound and kept for the whole run: a keyboard made afresh for each paste
// can lose its first key. It carries the seat's own keymap, read from a
// keyboard of the seat's like any client's and uploaded again whenever the
// seat's changes, so that the focused window sees the keys of the layout it
// already knows, with real modifier keys. Each key is pressed by the code
// that types its symbol under that keymap (a Dvorak layout's "v" sits on
// another key than a US one's). Where the seat has no keyboard, the layout
// named by XKB_DEFAULT_LAYOUT and its kin (else "us") is uploaded.
//
// The virtual keyboard is a device of its own: the modifiers the user holds
// on the real keyboard are not its modifiers, so the window sees exactly the
// keystroke's. Main thread only.
class WaylandVirtualKeyboard : public KeySynthesizer {
public:
    WaylandVirtualKeyboard();
    ~WaylandVirtualKeyboard() override;

    bool canSend(PasteKeystroke keystroke) override;
    bool sendPasteKeystroke(PasteKeystroke keystroke) override;
    // Nothing: the trigger key is heard as a whole tap, after the window saw it.
    void sendInertKey() override {}

    struct Impl;

private:
    std::unique_ptr<Impl> d_;
};
