#pragma once

#include "platform/KeySynthesizer.h"

struct _XDisplay;

// Synthetic keystrokes through XTest, on a connection of our own. Every key
// sent is announced to the key source first (X11InjectedKeys), so that
// Sayri's own keystroke never counts as the user's. The inert key is the
// highest key code the keymap gives no symbol, found again after a keymap
// change, sent as from the keyboard that holds a key at that moment. Main
// thread only.
class X11KeySynthesizer : public KeySynthesizer {
public:
    X11KeySynthesizer() = default;
    ~X11KeySynthesizer() override;
    X11KeySynthesizer(const X11KeySynthesizer&) = delete;
    X11KeySynthesizer& operator=(const X11KeySynthesizer&) = delete;

    bool canSend(PasteKeystroke keystroke) override;
    bool sendPasteKeystroke(PasteKeystroke keystroke) override;
    void sendInertKey() override;

    // The highest key code the keymap gives no symbol; 0 when there is none.
    static int keycodeWithoutSymbol(_XDisplay* display);

private:
    bool connect();

    _XDisplay* display_ = nullptr;
    int inertKey_ = -1;  // -1: not looked for under the current keymap; 0: none
};
