#pragma once

#include "desktop/TriggerListener.h"

// The global trigger-key listener.
class HotkeyManager : public TriggerListener {
public:
    void start() override;
    bool isStarted() const override { return started_; }
    void setTrigger(const QString& triggerKeyId) override { triggerKeyId_ = triggerKeyId; }

private:
    bool started_ = false;
    QString triggerKeyId_;
};
