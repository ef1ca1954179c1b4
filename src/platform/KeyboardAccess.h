#pragma once

// Whether the global key source can be opened: the "accessibility trusted"
// notion of this platform.
class KeyboardAccess {
public:
    virtual ~KeyboardAccess() = default;
    virtual bool trusted() = 0;
};
