#pragma once

#include "desktop/TextPaster.h"
#include "platform/FrontmostApp.h"
#include "platform/KeySynthesizer.h"

#include <QObject>

#include <memory>

// Pasting into the focused application through the clipboard: the text
// becomes the clipboard's only content, and after a short pause (so the
// clipboard is settled before anyone asks for it) the paste keystroke is
// sent: Control+V, or Control+Shift+V in a terminal emulator, where
// Control+V does not paste. The clipboard keeps the text afterwards.
//
// The pause runs on a timer, so the main thread keeps serving the clipboard
// meanwhile. Main thread only.
class Paster : public TextPaster {
public:
    Paster(std::unique_ptr<FrontmostApp> frontmost, std::unique_ptr<KeySynthesizer> keys);

    void paste(const QString& text) override;

    // Whether a window of this class (either part of its class hint) belongs
    // to a terminal emulator.
    static bool isTerminal(const QString& windowClass, const QString& windowInstance);

    static constexpr int pauseMs = 120;

private:
    void sendKeystroke();

    std::unique_ptr<FrontmostApp> frontmost_;
    std::unique_ptr<KeySynthesizer> keys_;
    QObject guard_;  // pending keystrokes end with the paster
};
