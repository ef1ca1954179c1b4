#pragma once

#include "platform/TrayHost.h"

#include <QObject>

class QDBusServiceWatcher;

// Tray icons on a Wayland desktop: a status-notifier host (KDE Plasma's
// panel, swaybar, GNOME's AppIndicator extension) registered with the
// org.kde.StatusNotifierWatcher service of the session bus. Watches for one
// that appears later. Asks without waiting: the main thread never waits on
// the bus. Main thread only.
class StatusNotifierTray : public QObject, public TrayHost {
    Q_OBJECT
public:
    StatusNotifierTray();
    bool available() override { return available_; }
    bool answered() override { return answered_; }

private Q_SLOTS:
    void check();

private:
    QDBusServiceWatcher* watcher_;
    bool available_ = false;
    bool answered_ = false;
};
