#pragma once

#include "platform/KeyboardAccess.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// What the user's graphical session offers Sayri, gathered once at start-up
// (SessionProbe) before anything is chosen. Plain data, so that the choice
// below can be checked over a table of sessions.
struct SessionCapabilities {
    bool wayland = false;      // a Wayland session (else X11)
    QStringList desktops;      // XDG_CURRENT_DESKTOP, lower case, e.g. {"ubuntu", "gnome"}
    QSet<QString> globals;     // the Wayland globals the compositor offers
    bool swaySocket = false;   // SWAYSOCK names sway's command socket
    bool xDisplay = false;     // an X display is named: the X server, or Xwayland
    bool inputReadable = false;   // a /dev/input/event* device can be read
    bool inputGroupPending = false;  // the user is in the "input" group, but not yet in this login
    bool uinputWritable = false;  // /dev/uinput can be written
    bool uinputPresent = false;   // /dev/uinput exists
    QString kwinEavesdrop;     // KWin's [Xwayland] XwaylandEavesdrops (None, Modifiers, ...); empty: unset
};

// The mechanism for each thing Sayri needs from the desktop.
struct SessionPlan {
    enum class Family { x11, sway, kde, gnome, other };
    // Sayri's own windows: through Xwayland (or the X server) or native Wayland.
    enum class Windows { xcb, wayland };
    enum class Keys { xinput, swayIpc, evdev, none };
    enum class Paste { xtest, virtualKeyboard, uinput, none };
    enum class Clipboard { qt, wlrDataControl, extDataControl };
    enum class Front { x11, swayIpc };
    enum class Bar { x11Window, layerShell, toplevel };
    // A status-notifier tray appears only when a host registers (Wayland); on
    // X11 the tray icon is made at once, as the system tray protocol allows.
    enum class Tray { atOnce, whenWatched };

    Family family = Family::x11;
    Windows windows = Windows::xcb;
    Keys keys = Keys::xinput;
    Paste paste = Paste::xtest;
    Clipboard clipboard = Clipboard::qt;
    Front front = Front::x11;
    Bar bar = Bar::x11Window;
    Tray tray = Tray::atOnce;

    bool operator==(const SessionPlan&) const = default;
};

// The mechanisms Sayri uses in a session that offers `caps`.
SessionPlan selectPlan(const SessionCapabilities& caps);

// What the setup window shows for a session: one row per need, each ready,
// one action for the user, or unavailable with the reason. None in an X11
// session, whose setup keeps its own steps.
QList<SetupRow> setupRows(const SessionCapabilities& caps, const SessionPlan& plan);
