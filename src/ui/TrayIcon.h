#pragma once

#include "ui/StatusIcon.h"

class QMenu;
class QSystemTrayIcon;

// The status item: a tray icon whose menu is filled afresh each time it opens.
class TrayIcon : public StatusIcon {
    Q_OBJECT
public:
    TrayIcon();
    ~TrayIcon() override;
    void setIcon(const QString& symbol) override;
    bool isVisible() const;

private:
    QSystemTrayIcon* tray_;
    QMenu* menu_;
};
