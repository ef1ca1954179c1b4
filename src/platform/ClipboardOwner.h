#pragma once

#include <QString>

// Owns the desktop's clipboard on Sayri's behalf, without needing the
// keyboard focus: the text Sayri pastes stays there for the user afterwards.
class ClipboardOwner {
public:
    virtual ~ClipboardOwner() = default;
    // Makes `text` the clipboard's only content; with `alsoSelection`, the
    // primary selection's too (what Shift+Insert pastes in some terminals).
    // False when the selection was asked for and the desktop has none (the
    // clipboard holds the text all the same).
    virtual bool setText(const QString& text, bool alsoSelection) = 0;
};
