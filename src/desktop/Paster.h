#pragma once

#include "desktop/TextPaster.h"

// Pasting into the focused application through the clipboard.
class Paster : public TextPaster {
public:
    void paste(const QString& text) override;
};
