#include "desktop/AccessibilitySwitch.h"

#include "store/Config.h"
#include "store/Log.h"

#include <QFile>

AccessibilitySwitch::AccessibilitySwitch(std::shared_ptr<AccessibleTree> tree)
    : tree_(std::move(tree)), markerPath_(Config::file(QStringLiteral("accessibility-switched-on")))
{
    if (QFile::exists(markerPath_)) {
        switchedOnByUs_ = true;
        Log::write(QStringLiteral("画面の文脈: 前回オンにしたデスクトップのアクセシビリティを引き継ぎます"));
    }
}

void AccessibilitySwitch::mark(bool on)
{
    if (!on) {
        QFile::remove(markerPath_);
        return;
    }
    QFile marker(markerPath_);
    if (!marker.open(QIODevice::WriteOnly))
        Log::write(QStringLiteral("画面の文脈: 印のファイルを書けません（%1）").arg(marker.errorString()));
}

void AccessibilitySwitch::switchOnIfOff()
{
    std::lock_guard guard(lock_);
    if (tree_->accessibilityOn() != false)
        return;
    mark(true);  // before the switch, so that no kill in between leaves it unmarked
    if (!tree_->setAccessibilityOn(true)) {
        mark(false);
        return;
    }
    switchedOnByUs_ = true;
    Log::write(QStringLiteral("画面の文脈: デスクトップのアクセシビリティをオンにしました"));
}

void AccessibilitySwitch::putBack()
{
    std::lock_guard guard(lock_);
    if (!switchedOnByUs_)
        return;
    switchedOnByUs_ = false;
    mark(false);
    // Already off again (switched off meanwhile by the user): nothing to do.
    if (tree_->accessibilityOn() == true && tree_->setAccessibilityOn(false))
        Log::write(QStringLiteral("画面の文脈: デスクトップのアクセシビリティを元のオフに戻しました"));
}
