#include "desktop/AccessibilitySwitch.h"

#include "store/Log.h"

AccessibilitySwitch::AccessibilitySwitch(std::shared_ptr<AccessibleTree> tree) : tree_(std::move(tree)) {}

void AccessibilitySwitch::switchOnIfOff()
{
    std::lock_guard guard(lock_);
    if (tree_->accessibilityOn() != false || !tree_->setAccessibilityOn(true))
        return;
    switchedOnByUs_ = true;
    Log::write(QStringLiteral("画面の文脈: デスクトップのアクセシビリティをオンにしました"));
}

void AccessibilitySwitch::putBack()
{
    std::lock_guard guard(lock_);
    if (!switchedOnByUs_)
        return;
    switchedOnByUs_ = false;
    // Already off again (switched off meanwhile by the user): nothing to do.
    if (tree_->accessibilityOn() == true && tree_->setAccessibilityOn(false))
        Log::write(QStringLiteral("画面の文脈: デスクトップのアクセシビリティを元のオフに戻しました"));
}
