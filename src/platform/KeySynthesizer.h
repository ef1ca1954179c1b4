#pragma once

// The keystrokes that make an application paste.
enum class PasteKeystroke {
    controlV,       // the clipboard, in most applications
    controlShiftV,  // the clipboard, in a terminal emulator
    shiftInsert,    // the primary selection or the clipboard: xterm, rxvt, GUI Emacs, gvim
    // F2, then Control+V: a spreadsheet cell's editor opened (or kept open)
    // first, where a text of several lines pasted on the cell itself would
    // open an import dialog (LibreOffice Calc)
    editThenControlV,
};

// Synthetic keystrokes into the focused window, as if typed by the user.
class KeySynthesizer {
public:
    virtual ~KeySynthesizer() = default;
    // Whether `keystroke` can be sent: a display that takes synthetic keys
    // and a keymap holding its keys.
    virtual bool canSend(PasteKeystroke keystroke) = 0;
    // Sends `keystroke` so that the focused window sees its modifiers and no
    // other: modifier keys the user still holds are let go around it and
    // pressed again afterwards. False when nothing could be sent.
    virtual bool sendPasteKeystroke(PasteKeystroke keystroke) = 0;
    // Presses and lets go one key that no application acts on (a key code
    // with no symbol), so that a modifier held at that moment is not a lone
    // tap to the focused window: a lone Alt tap opens the menu bar's keyboard
    // navigation in many applications. Modifiers held stay held. Does nothing
    // where the keymap has no such key.
    virtual void sendInertKey() = 0;
    // Where an input method serves the display, makes it finish a composition
    // the user left open in the focused window (a preedit would swallow the
    // paste keystroke): the keyboard focus leaves that window now, as when the
    // user clicks elsewhere, and the input method commits the preedit as it
    // stands; sendPasteKeystroke gives the focus back first. Returns how long
    // the focus must stay away for the window to notice, in milliseconds; 0
    // when nothing was done.
    virtual int finishComposition() { return 0; }
};
