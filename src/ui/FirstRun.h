#pragma once

#include <functional>

// The first-run setup as the controller sees it.
class FirstRun {
public:
    virtual ~FirstRun() = default;
    // Whether the setup window must be shown at start-up.
    virtual bool 必要() = 0;
    // Shows the window; `onFinished` runs when the user leaves it.
    virtual void begin(std::function<void()> onFinished) = 0;
};
