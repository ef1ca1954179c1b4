#pragma once

struct wl_display;
struct wl_output;
struct wl_seat;
struct wl_surface;
class QScreen;
class QWindow;

// The objects of Qt's own Wayland connection that Sayri's protocol objects
// are made on, when Sayri's windows run on Qt's Wayland platform. Null on
// any other platform. Main thread only.
namespace WaylandNative {

wl_display* display();
wl_seat* seat();
// Whether the seat has a keyboard (Qt then holds one of its own).
bool seatHasKeyboard();
// The window's surface; it exists from the window's creation until it is hidden.
wl_surface* surface(QWindow* window);
wl_output* output(QScreen* screen);

}  // namespace WaylandNative
