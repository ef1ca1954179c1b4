#pragma once

#include "platform/FrontmostApp.h"

// The focused application from the window manager's _NET_ACTIVE_WINDOW.
class X11FrontmostApp : public FrontmostApp {
public:
    std::optional<FrontmostAppInfo> current() override;
};
