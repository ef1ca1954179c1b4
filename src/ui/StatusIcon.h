#pragma once

#include <QString>

#include <functional>

class QMenu;

// The tray icon. `setIcon` takes one of the phase symbols "🎙️", "🔴", "⏳".
class StatusIcon {
public:
    virtual ~StatusIcon() = default;
    virtual void setIcon(const QString& symbol) = 0;
    // Called each time the menu is about to open, to fill it afresh.
    std::function<void(QMenu*)> onMenuNeedsUpdate;
};
