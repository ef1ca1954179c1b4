#pragma once

#include <functional>

// Whether the desktop shows tray icons. Where it tells only once a host has
// registered, `onAvailable` runs when one does; the icon is made then.
class TrayHost {
public:
    virtual ~TrayHost() = default;
    virtual bool available() = 0;
    std::function<void()> onAvailable;
};
