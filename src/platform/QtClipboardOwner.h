#pragma once

#include "platform/ClipboardOwner.h"

// The clipboard through the application's own display connection: on X11
// the CLIPBOARD (and PRIMARY) selection, which the X server hands to any
// window, focused or not.
class QtClipboardOwner : public ClipboardOwner {
public:
    bool setText(const QString& text, bool alsoSelection) override;
};
