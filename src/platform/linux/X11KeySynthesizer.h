#pragma once

#include "platform/KeySynthesizer.h"

struct _XDisplay;

// Synthetic keystrokes through XTest, on a connection of our own. Every key
// sent is announced to the key source first (X11InjectedKeys), so that
// Sayri's own keystroke never counts as the user's. Main thread only.
class X11KeySynthesizer : public KeySynthesizer {
public:
    X11KeySynthesizer() = default;
    ~X11KeySynthesizer() override;
    X11KeySynthesizer(const X11KeySynthesizer&) = delete;
    X11KeySynthesizer& operator=(const X11KeySynthesizer&) = delete;

    bool sendPasteKeystroke(bool withShift) override;

private:
    bool connect();

    _XDisplay* display_ = nullptr;
};
