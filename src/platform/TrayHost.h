#pragma once

#include <functional>

// Whether the desktop shows tray icons. Where it tells only once a host has
// registered, `onAvailable` runs when one does; the icon is made then. A host
// that asks the desktop without waiting has no answer at first: `answered()`
// is false until `onAnswered` runs with the first one.
class TrayHost {
public:
    virtual ~TrayHost() = default;
    virtual bool available() = 0;
    virtual bool answered() { return true; }
    std::function<void()> onAvailable;
    std::function<void(bool available)> onAnswered;
};
