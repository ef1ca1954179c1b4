#pragma once

#include <QString>

// Puts text on the clipboard and makes the focused application paste it.
class TextPaster {
public:
    virtual ~TextPaster() = default;
    virtual void paste(const QString& text) = 0;
};
