#pragma once

#include <QString>

// Puts text on the clipboard and makes the focused application paste it.
class TextPaster {
public:
    virtual ~TextPaster() = default;
    // False when no paste keystroke can be sent: the text is then only on the
    // clipboard.
    virtual bool paste(const QString& text) = 0;
};
