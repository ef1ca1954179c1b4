#include "platform/linux/tray/StatusNotifierTray.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusServiceWatcher>

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

}  // namespace

StatusNotifierTray::StatusNotifierTray()
    : watcher_(new QDBusServiceWatcher(watcherService, QDBusConnection::sessionBus(),
                                       QDBusServiceWatcher::WatchForRegistration, this))
{
    connect(watcher_, &QDBusServiceWatcher::serviceRegistered, this, &StatusNotifierTray::check);
    // A watcher may be there before the host that shows the icons.
    QDBusConnection::sessionBus().connect(watcherService, QStringLiteral("/StatusNotifierWatcher"), watcherService,
                                          QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(check()));
}

void StatusNotifierTray::check()
{
    if (available() && onAvailable)
        onAvailable();
}

bool StatusNotifierTray::available()
{
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus || !bus->isServiceRegistered(watcherService))
        return false;
    QDBusInterface watcher(watcherService, QStringLiteral("/StatusNotifierWatcher"), watcherService,
                           QDBusConnection::sessionBus());
    return watcher.property("IsStatusNotifierHostRegistered").toBool();
}
