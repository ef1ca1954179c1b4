#pragma once

#include "desktop/TriggerKey.h"
#include "desktop/TriggerListener.h"
#include "platform/KeySource.h"

#include <functional>
#include <memory>

// The global trigger-key listener: recognises a clean tap of the trigger key
// (pressed and released on its own, in less than half a second) and Escape,
// from the events of a listen-only keyboard source. Main thread only.
class HotkeyManager : public TriggerListener {
public:
    explicit HotkeyManager(std::unique_ptr<KeySource> source,
                           TriggerKey trigger = TriggerKey::all().front(),
                           std::function<double()> clock = {});

    void start() override;
    bool isStarted() const override;
    void setTrigger(const QString& triggerKeyId) override;
    const TriggerKey& trigger() const { return trigger_; }

    static constexpr double longestTap = 0.5;
    static constexpr std::uint64_t otherModifierMask = 0x9e0000;

private:
    void handle(std::uint32_t type, const KeyEvent& event);
    void handleFlagsChanged(const KeyEvent& event, double now);
    void reportTap(double t);
    void reportEsc();
    void tellIfNoKeyAnswers();

    std::unique_ptr<KeySource> source_;
    std::function<double()> clock_;
    bool optionIsDown_ = false;
    double optionDownAt_ = 0;
    bool gestureDirty_ = false;
    TriggerKey trigger_;
};
