#pragma once

#include "platform/AccessibleTree.h"

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

// The desktop's accessibility switch as screen hints use it: switched on only
// when it was off, and then remembered, so that putBack() can switch it off
// again. A switch that was on already (the user's or another program's) is
// never switched off. One log line each way. Safe from any thread; each call
// may wait for the desktop's answer (bounded by the tree).
//
// What was switched on is also marked by a file in the data folder, so that a
// Sayri that was killed before it could put the switch back leaves that to the
// next start: a marker found there counts as switched on by us.
class AccessibilitySwitch {
public:
    explicit AccessibilitySwitch(std::shared_ptr<AccessibleTree> tree);

    void switchOnIfOff();
    void putBack();
    // At once, without waiting for a call in progress.
    bool switchedOnByUs() const { return switchedOnByUs_; }

private:
    void mark(bool on);

    const std::shared_ptr<AccessibleTree> tree_;
    const QString markerPath_;
    std::mutex lock_;                          // one change of the switch at a time
    std::atomic<bool> switchedOnByUs_{false};  // written under `lock_`
};
