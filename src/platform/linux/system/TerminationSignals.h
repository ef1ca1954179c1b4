#pragma once

#include <functional>

// Turns SIGTERM, SIGINT and SIGHUP into a call on the main thread, so the
// ordinary quit path (and its shutdown) runs.
namespace TerminationSignals {
void install(std::function<void()> onSignal);
}
