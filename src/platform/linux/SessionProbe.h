#pragma once

#include "platform/linux/SessionPlan.h"

// Gathers what this login's session offers: its type and desktop from the
// environment, the Wayland globals from a short connection of its own, the
// input devices this user may read or write, and KWin's setting for keys
// shown to X11 applications. Before the application object exists, on the
// main thread; the Wayland connection is closed again at once.
namespace SessionProbe {

SessionCapabilities probe();

}  // namespace SessionProbe
