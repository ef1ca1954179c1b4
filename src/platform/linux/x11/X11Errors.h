#pragma once

struct _XDisplay;

// X protocol errors on Sayri's own connections (a window that vanished between
// two requests, a key the server refuses) are expected and answered by the
// calls' own results; they must never end the process, as Xlib's default
// handler would.
namespace X11Errors {

// Errors of `display` are ignored from now on; those of other connections go
// to the handler that was installed before.
void ignoreOn(_XDisplay* display);
// Before closing `display`.
void forget(_XDisplay* display);

}  // namespace X11Errors
