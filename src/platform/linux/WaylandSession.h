#pragma once

// A Wayland session. Sayri's windows still work there through Xwayland, but
// X key events and XTest keystrokes reach only other X11 windows: the trigger
// key and the automatic paste need an X11 session until a Wayland backend
// exists.
namespace WaylandSession {

// The session says it is Wayland (XDG_SESSION_TYPE), or a Wayland display is
// named (WAYLAND_DISPLAY).
bool detected();

// Before the application object exists: Qt runs on the xcb platform, that is
// through Xwayland. False when no X display is named for it to run on.
bool useXwayland();

}  // namespace WaylandSession
