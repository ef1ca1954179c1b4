#pragma once

#include "platform/KeyboardAccess.h"

// "Trusted" on X11: a display is reachable and it speaks XInput2, so the
// global key source can be opened.
class X11KeyboardAccess : public KeyboardAccess {
public:
    bool trusted() override;

private:
    bool known_ = false;
};
