#include "platform/linux/X11FrontmostApp.h"

// Placeholder until window-manager lookups land.
std::optional<FrontmostAppInfo> X11FrontmostApp::current()
{
    return std::nullopt;
}
