#include "platform/linux/x11/X11InjectedKeys.h"

#include "support/Uptime.h"

#include <deque>
#include <mutex>

namespace {

struct Announced {
    int keycode;
    bool press;
    double expires;
};

// Injected keys come back within milliseconds; a key the server dropped never does.
constexpr double lifetime = 2.0;
constexpr std::size_t mostAnnounced = 64;

std::mutex lock;
std::deque<Announced> announced;

void dropExpired(double now)
{
    while (!announced.empty() && (announced.front().expires < now || announced.size() > mostAnnounced))
        announced.pop_front();
}

}  // namespace

namespace X11InjectedKeys {

void expect(int keycode, bool press)
{
    std::lock_guard guard(lock);
    const double now = uptimeSeconds();
    dropExpired(now);
    announced.push_back({keycode, press, now + lifetime});
}

bool consume(int keycode, bool press)
{
    std::lock_guard guard(lock);
    dropExpired(uptimeSeconds());
    for (auto it = announced.begin(); it != announced.end(); ++it) {
        if (it->keycode == keycode && it->press == press) {
            // The server delivers injected keys in order: anything announced
            // before this one was dropped on the way.
            announced.erase(announced.begin(), it + 1);
            return true;
        }
    }
    return false;
}

}  // namespace X11InjectedKeys
