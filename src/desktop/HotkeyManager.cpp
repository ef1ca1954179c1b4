#include "desktop/HotkeyManager.h"

#include "platform/PlatformWords.h"
#include "store/Log.h"
#include "support/MainThread.h"
#include "support/Uptime.h"

HotkeyManager::HotkeyManager(std::unique_ptr<KeySource> source, TriggerKey trigger, std::function<double()> clock)
    : source_(std::move(source)),
      clock_(clock ? std::move(clock) : std::function<double()>(uptimeSeconds)),
      trigger_(std::move(trigger))
{
}

bool HotkeyManager::isStarted() const
{
    return source_->isOpen();
}

void HotkeyManager::start()
{
    if (source_->isOpen())
        return;
    source_->onEvent = [this](const KeyEvent& event) { handle(event.type, event); };
    source_->watchKeys(trigger_.keyCodes);
    if (!source_->open()) {
        Log::write(QStringLiteral("キー監視の開始に失敗（%1）").arg(PlatformWords::keySourceFailure()));
        return;
    }
    Log::write(QStringLiteral("キー監視を開始"));
    tellIfNoKeyAnswers();
}

void HotkeyManager::setTrigger(const QString& triggerKeyId)
{
    trigger_ = TriggerKey::find(triggerKeyId);
    if (!TriggerKey::offers(triggerKeyId))
        Log::write(QStringLiteral("録音キーの設定 \"%1\" はこの%2では使えないため、「%3」を使います")
                       .arg(triggerKeyId, PlatformWords::computer(), trigger_.label));
    optionIsDown_ = false;
    gestureDirty_ = false;
    source_->watchKeys(trigger_.keyCodes);
    if (source_->isOpen())
        tellIfNoKeyAnswers();
}

// A key the table offers may be missing from the keyboard's layout (a right
// Alt turned into a Compose key, say): the row stays, and the log says why
// the key does nothing.
void HotkeyManager::tellIfNoKeyAnswers()
{
    for (const std::int64_t code : trigger_.keyCodes) {
        if (source_->hasKey(code))
            return;
    }
    Log::write(QStringLiteral("録音キー「%1」に当たるキーが、いまのキーボード配列にありません（押しても反応しません）")
                   .arg(trigger_.label));
}

void HotkeyManager::handle(std::uint32_t type, const KeyEvent& event)
{
    if (type == KeyEventType::disabledByTimeout || type == KeyEventType::disabledByUserInput) {
        if (source_->isOpen())
            source_->enable();
        return;
    }
    const double now = clock_();
    if (type == KeyEventType::flagsChanged) {
        handleFlagsChanged(event, now);
    } else if (type == KeyEventType::keyDown) {
        if (event.keyCode == MacKey::escape)
            reportEsc();
        // A key typed while the trigger key is held (a shortcut) spoils the tap.
        gestureDirty_ = true;
    }
}

void HotkeyManager::handleFlagsChanged(const KeyEvent& event, double now)
{
    const std::uint64_t flags = event.flags;
    const std::uint64_t other = (flags & ~trigger_.flag) & otherModifierMask & 0xFFFFFFFFu;

    if (!trigger_.hasKeyCode(event.keyCode)) {
        // Another modifier changed while the trigger key is held.
        if (optionIsDown_ && other != 0)
            gestureDirty_ = true;
        return;
    }

    const bool held = (flags & trigger_.flag) == trigger_.flag;
    if (!held) {
        if (!optionIsDown_)
            return;  // a release without a press
        optionIsDown_ = false;
        if (!gestureDirty_ && other == 0 && now - optionDownAt_ < longestTap)
            reportTap(now);
        gestureDirty_ = false;
        return;
    }

    if (!optionIsDown_) {
        optionIsDown_ = true;
        optionDownAt_ = now;
        // Pressed while another modifier is already held: never a tap.
        gestureDirty_ = other != 0;
        if (mask_ && masks(!gestureDirty_, tapEndsDictation && tapEndsDictation()))
            mask_->sendInertKey();
        return;
    }
    // Already held, e.g. the other key of a two-key trigger.
    if (other != 0)
        gestureDirty_ = true;
}

// Both callbacks run after the event has been handled, never inside it.
void HotkeyManager::reportTap(double t)
{
    MainThread::async(nullptr, [callback = onTap, t] {
        if (callback)
            callback(t);
    });
}

void HotkeyManager::reportEsc()
{
    MainThread::async(nullptr, [callback = onEsc] {
        if (callback)
            callback();
    });
}
