#include "desktop/AccessibilitySwitch.h"

#include "store/Config.h"
#include "store/Log.h"

#include <QFile>
#include <QLockFile>

namespace {

QString markerPath()
{
    return Config::file(QStringLiteral("accessibility-switched-on"));
}

std::unique_ptr<QLockFile> markerFile()
{
    auto marker = std::make_unique<QLockFile>(markerPath());
    marker->setStaleLockTime(0);  // stale only when its process has gone
    return marker;
}

}  // namespace

AccessibilitySwitch::AccessibilitySwitch(std::shared_ptr<AccessibleTree> tree) : tree_(std::move(tree)) {}

AccessibilitySwitch::~AccessibilitySwitch() = default;

void AccessibilitySwitch::switchOff(const QString& message)
{
    // Already off again (switched off meanwhile by the user): nothing to do.
    if (tree_->accessibilityOn() == true && tree_->setAccessibilityOn(false))
        Log::write(message);
}

void AccessibilitySwitch::putBackLeftOver()
{
    std::lock_guard guard(lock_);
    if (switchedOnByUs_ || !QFile::exists(markerPath()))
        return;
    const std::unique_ptr<QLockFile> left = markerFile();
    qint64 pid = 0;
    QString host, program;
    if (!left->getLockInfo(&pid, &host, &program))
        QFile::remove(markerPath());  // an empty mark, as earlier versions left
    else if (!left->tryLock(0))
        return;  // its Sayri still runs
    left->unlock();
    switchOff(QStringLiteral(
        "画面の文脈: 前回のサイリがオンにしたままのデスクトップのアクセシビリティを元のオフに戻しました"));
}

void AccessibilitySwitch::switchOnIfOff()
{
    std::lock_guard guard(lock_);
    if (tree_->accessibilityOn() != false)
        return;
    // Marked before the switch, so that no kill in between leaves it unmarked.
    marker_ = markerFile();
    if (!marker_->tryLock(0) && marker_->error() != QLockFile::LockFailedError)
        Log::write(QStringLiteral("画面の文脈: 印のファイルを書けません（%1）").arg(markerPath()));
    if (!tree_->setAccessibilityOn(true)) {
        marker_.reset();
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
    marker_.reset();
    switchOff(QStringLiteral("画面の文脈: デスクトップのアクセシビリティを元のオフに戻しました"));
}
