#pragma once

// Synthetic keystrokes into the focused window, as if typed by the user.
class KeySynthesizer {
public:
    virtual ~KeySynthesizer() = default;
    // Sends the paste keystroke, Control+V (or Control+Shift+V when
    // `withShift`), so that the focused window sees those modifiers and no
    // other: modifier keys the user still holds are let go around it and
    // pressed again afterwards. False when nothing could be sent.
    virtual bool sendPasteKeystroke(bool withShift) = 0;
};
