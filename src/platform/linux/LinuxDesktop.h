#pragma once

#include "platform/BarSurface.h"
#include "platform/ClipboardOwner.h"
#include "platform/FrontmostApp.h"
#include "platform/KeySource.h"
#include "platform/KeySynthesizer.h"
#include "platform/KeyboardAccess.h"
#include "platform/TrayHost.h"
#include "platform/linux/SessionPlan.h"

#include <functional>
#include <memory>

// The parts of the user's desktop that Sayri's logic talks to, made for one
// session's plan. What is absent is a null pointer where the logic has a
// default of its own (the bar floats by itself, the tray is always there, the
// application's own clipboard), and an object that says it cannot where the
// logic needs one (no key source, no keystroke).
struct LinuxDesktop {
    std::unique_ptr<KeySource> keySource;
    std::shared_ptr<KeySynthesizer> keys;
    bool maskLonePresses = false;  // inert keys after a lone trigger press (X11)
    std::function<std::unique_ptr<FrontmostApp>()> frontmost;  // several users ask on their own
    std::unique_ptr<ClipboardOwner> clipboard;
    std::unique_ptr<BarSurface> bar;
    std::unique_ptr<TrayHost> tray;
    std::unique_ptr<KeyboardAccess> access;
    bool handClipboardOverAtQuit = false;  // to an X11 clipboard manager

    // Before the application object exists: points Qt at the platform the
    // plan's windows run on. False, with the reason, where they cannot run.
    static bool prepareApplication(const SessionCapabilities& caps, const SessionPlan& plan, QString& why);
    // The parts, once the application object exists. Logs the plan once.
    static LinuxDesktop make(const SessionCapabilities& caps, const SessionPlan& plan);
};
