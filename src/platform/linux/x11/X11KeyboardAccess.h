#pragma once

#include "platform/KeyboardAccess.h"

// "Trusted" on X11: a display is reachable and it speaks XInput2, so the
// global key source can be opened. Never in a Wayland session, where that
// display is Xwayland and hears only the keys of X11 windows (logged once).
class X11KeyboardAccess : public KeyboardAccess {
public:
    bool trusted() override;

private:
    bool known_ = false;
    bool toldWayland_ = false;
};
