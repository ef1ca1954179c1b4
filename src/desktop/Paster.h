#pragma once

#include "desktop/TextPaster.h"
#include "platform/ClipboardOwner.h"
#include "platform/FrontmostApp.h"
#include "platform/KeySynthesizer.h"

#include <QObject>

#include <memory>

// Pasting into the focused application through the clipboard: the text
// becomes the clipboard's only content, and after a short pause (so the
// clipboard is settled before anyone asks for it) the keystroke that pastes
// in that application is sent. A terminal emulator (as its desktop entry
// declares itself) takes Control+V for its program and pastes on
// Control+Shift+V; xterm, rxvt, GUI Emacs and gvim paste on Shift+Insert,
// some of them the primary selection only, so the text becomes that selection
// too (where the desktop has none, no keystroke is sent). LibreOffice Calc
// takes a text of several lines into a cell only through the cell's editor
// (pasted on the cell, it opens its text import dialog): F2 opens the editor
// first. Where an input method runs, a composition the user left open in the
// window is finished first (the keystroke would go to it). The clipboard
// keeps the text afterwards.
//
// The pause runs on a timer, so the main thread keeps serving the clipboard
// meanwhile. Main thread only.
class Paster : public TextPaster {
public:
    // Without `clipboard`, the application's own (QClipboard).
    Paster(std::unique_ptr<FrontmostApp> frontmost, std::shared_ptr<KeySynthesizer> keys,
           std::unique_ptr<ClipboardOwner> clipboard = {});

    PasteOutcome paste(const QString& text) override;

    // The keystroke that pastes `text` in `app` (none: no window has the focus).
    static PasteKeystroke keystrokeFor(const std::optional<FrontmostAppInfo>& app, const QString& text);

    static constexpr int pauseMs = 120;

private:
    std::unique_ptr<FrontmostApp> frontmost_;
    std::shared_ptr<KeySynthesizer> keys_;
    std::unique_ptr<ClipboardOwner> clipboard_;
    QObject guard_;  // pending keystrokes end with the paster
};
