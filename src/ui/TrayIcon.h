#pragma once

#include "ui/StatusIcon.h"

#include <QHash>
#include <QIcon>

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
    // One icon per image for the whole run: a fresh icon at every change would
    // leave its drawings in the pixmap cache, a little more at each dictation.
    QHash<QString, QIcon> icons_;
};
