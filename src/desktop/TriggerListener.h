#pragma once

#include <QString>

#include <functional>

// The global trigger-key listener as the controller uses it: clean taps of the
// trigger key and Escape presses, reported on the main thread.
class TriggerListener {
public:
    virtual ~TriggerListener() = default;
    // Starts listening once; later calls do nothing.
    virtual void start() = 0;
    virtual bool isStarted() const = 0;
    // Switches the trigger key (an identifier of the trigger-key table) and
    // forgets a half-finished gesture of the previous key.
    virtual void setTrigger(const QString& triggerKeyId) = 0;
    // Whether Escape matters now: while a recording runs.
    virtual void watchEscape(bool on) { (void)on; }

    std::function<void(double)> onTap;  // time in seconds of system uptime
    std::function<void()> onEsc;
    // Whether a tap now would end a dictation (none: never). Only such a
    // press is hidden from the focused window.
    std::function<bool()> tapEndsDictation;
};
