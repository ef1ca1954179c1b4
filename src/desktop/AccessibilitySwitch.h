#pragma once

#include "platform/AccessibleTree.h"

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

class QLockFile;

// The desktop's accessibility switch as screen hints use it: switched on only
// when it was off, and then remembered, so that putBack() can switch it off
// again. A switch that was on already (the user's or another program's) is
// never switched off. One log line each way. Safe from any thread; each call
// may wait for the desktop's answer (bounded by the tree).
//
// While the switch is Sayri's, a lock file in the data folder says so and
// names this process. A Sayri killed before it could put the switch back
// leaves the file behind; putBackLeftOver() at the next start finds its
// process gone and switches the desktop's accessibility back off. A file held
// by a Sayri still running (on another display) is left alone.
class AccessibilitySwitch {
public:
    explicit AccessibilitySwitch(std::shared_ptr<AccessibleTree> tree);
    ~AccessibilitySwitch();

    void putBackLeftOver();
    void switchOnIfOff();
    void putBack();
    // At once, without waiting for a call in progress.
    bool switchedOnByUs() const { return switchedOnByUs_; }

private:
    void switchOff(const QString& message);

    const std::shared_ptr<AccessibleTree> tree_;
    std::mutex lock_;                          // one change of the switch at a time
    std::unique_ptr<QLockFile> marker_;        // held while the switch is ours; under `lock_`
    std::atomic<bool> switchedOnByUs_{false};  // written under `lock_`
};
