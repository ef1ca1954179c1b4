#include "platform/linux/x11/X11Errors.h"

#include <mutex>
#include <set>

#include <X11/Xlib.h>

namespace {

std::mutex lock;
std::set<Display*> ignored;
XErrorHandler previous = nullptr;

int handleError(Display* display, XErrorEvent* error)
{
    {
        std::lock_guard guard(lock);
        if (ignored.count(display))
            return 0;
    }
    return previous ? previous(display, error) : 0;
}

}  // namespace

namespace X11Errors {

void ignoreOn(Display* display)
{
    static std::once_flag installed;
    std::call_once(installed, [] { previous = XSetErrorHandler(handleError); });
    std::lock_guard guard(lock);
    ignored.insert(display);
}

void forget(Display* display)
{
    std::lock_guard guard(lock);
    ignored.erase(display);
}

}  // namespace X11Errors
