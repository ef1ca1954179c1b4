#pragma once

#include "platform/KeySynthesizer.h"

#include <QString>

#include <optional>

// What became of a text handed to the paster. The clipboard holds it in
// every case.
struct PasteOutcome {
    // The paste keystroke is on its way to the focused window.
    bool sent = false;
    // Where it is not: the keystroke with which the user pastes the text in
    // that window by hand, none when no keystroke there would give this text.
    std::optional<PasteKeystroke> byHand;
};

// Puts text on the clipboard and makes the focused application paste it.
class TextPaster {
public:
    virtual ~TextPaster() = default;
    virtual PasteOutcome paste(const QString& text) = 0;
};
