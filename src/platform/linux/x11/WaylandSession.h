#pragma once

// A Wayland session, where X key events and XTest keystrokes reach only the
// X11 windows of Xwayland.
namespace WaylandSession {

// The session says it is Wayland (XDG_SESSION_TYPE), or a Wayland display is
// named (WAYLAND_DISPLAY).
bool detected();

}  // namespace WaylandSession
