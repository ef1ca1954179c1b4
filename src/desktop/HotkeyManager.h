#pragma once

#include "desktop/TriggerKey.h"
#include "desktop/TriggerListener.h"
#include "platform/KeySource.h"
#include "platform/KeySynthesizer.h"

#include <functional>
#include <memory>

// The global trigger-key listener: recognises a clean tap of the trigger key
// (pressed and released on its own, in less than half a second) and Escape,
// from the events of a listen-only keyboard source. Main thread only.
//
// The focused window sees the trigger key too, and many applications act on
// a lone tap of a modifier: a lone Alt moves the keyboard into the menu bar
// (LibreOffice, Firefox, Qt and Electron programs), and the next lone tap
// moves it back. The two taps that start a dictation therefore leave the
// window as it was, and so do lone taps of other programs' bindings (an input
// method switched by a lone modifier, a tap-to-launch tool): those presses
// reach everyone untouched. The one tap that would leave the window changed
// is the one that ends a dictation, right before the paste: its press is
// followed at once by an inert key (KeySynthesizer::sendInertKey), so to the
// window it is a modifier held with another key, which it leaves alone.
// Shortcuts the user types with the key work as before.
class HotkeyManager : public TriggerListener {
public:
    explicit HotkeyManager(std::unique_ptr<KeySource> source, TriggerKey trigger = TriggerKey::all().front(),
                           std::function<double()> clock = {});

    void start() override;
    bool isStarted() const override;
    void setTrigger(const QString& triggerKeyId) override;
    void watchEscape(bool on) override { source_->watchEscape(on); }
    const TriggerKey& trigger() const { return trigger_; }
    // Where the inert keys go (none: nothing is sent).
    void maskLonePresses(std::shared_ptr<KeySynthesizer> keys) { mask_ = std::move(keys); }
    // Whether a press of the trigger key is hidden from the focused window:
    // pressed alone (`clean`), as the tap that would end a dictation.
    static bool masks(bool clean, bool endsDictation) { return clean && endsDictation; }

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
    std::shared_ptr<KeySynthesizer> mask_;
};
