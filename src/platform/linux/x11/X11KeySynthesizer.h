#pragma once

#include "platform/KeySynthesizer.h"

struct _XDisplay;

// Synthetic keystrokes through XTest, on a connection of our own. Every key
// sent is announced to the key source first (X11InjectedKeys), so that
// Sayri's own keystroke never counts as the user's. The inert key is the
// highest key code the keymap gives no symbol, found again after a keymap
// change, sent as from the keyboard that holds a key at that moment.
//
// Input methods (fcitx5, IBus) register as X input method servers too; where
// one does, a composition is finished by giving the keyboard focus to an
// invisible window of ours (not one the window manager manages) and back. GTK
// finishes at once; Qt only once its window was without the focus a while
// (it takes a focus that comes straight back for no change: 1 ms is not
// enough, 150 ms is).
// Main thread only.
class X11KeySynthesizer : public KeySynthesizer {
public:
    X11KeySynthesizer() = default;
    ~X11KeySynthesizer() override;
    X11KeySynthesizer(const X11KeySynthesizer&) = delete;
    X11KeySynthesizer& operator=(const X11KeySynthesizer&) = delete;

    bool canSend(PasteKeystroke keystroke) override;
    bool sendPasteKeystroke(PasteKeystroke keystroke) override;
    void sendInertKey() override;
    int finishComposition() override;

    static constexpr int compositionMs = 300;

    // The highest key code the keymap gives no symbol; 0 when there is none.
    static int keycodeWithoutSymbol(_XDisplay* display);

private:
    bool connect();
    void giveFocusBack();

    _XDisplay* display_ = nullptr;
    int inertKey_ = -1;  // -1: not looked for under the current keymap; 0: none
    unsigned long away_ = 0;         // the window that holds the focus meanwhile
    unsigned long focusBefore_ = 0;  // the window it came from, while away
    int revertBefore_ = 0;
};
