#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <functional>
#include <set>

// The key events of one input device, from the struct input_event records
// read from its /dev/input/event* node. Records may arrive cut anywhere (a
// read returns what it returns): a partial one waits for its rest. Keys are
// handed on a frame at a time, at each SYN_REPORT. After SYN_DROPPED (the
// kernel's buffer ran over) everything up to the next SYN_REPORT is thrown
// away, and the keys held then are asked of the device itself: the caller
// hears the difference as releases and presses, marked as a resync.
class EvdevReader {
public:
    struct Key {
        std::uint16_t code = 0;  // KEY_* of <linux/input-event-codes.h>
        int value = 0;           // 0 released, 1 pressed, 2 repeated
        bool resync = false;     // made up after lost events, not typed as such
        bool operator==(const Key&) const = default;
    };

    // `heldNow`: the keys the device holds at this moment (EVIOCGKEY); none
    // known when it returns nothing.
    explicit EvdevReader(std::function<std::set<std::uint16_t>()> heldNow = {});

    // Takes bytes read from the device; returns the keys of the frames they completed.
    QList<Key> feed(const QByteArray& bytes);
    // The keys held as of the last frame.
    const std::set<std::uint16_t>& held() const { return held_; }

private:
    QByteArray pending_;
    QList<Key> frame_;
    bool dropping_ = false;
    std::set<std::uint16_t> held_;
    std::function<std::set<std::uint16_t>()> heldNow_;
};
