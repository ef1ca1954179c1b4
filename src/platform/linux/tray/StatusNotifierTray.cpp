#include "platform/linux/tray/StatusNotifierTray.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

#include <utility>

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
// A watcher that does not answer by then counts as no tray until it tells of a host.
constexpr int askTimeoutMs = 10000;

}  // namespace

StatusNotifierTray::StatusNotifierTray()
    : watcher_(new QDBusServiceWatcher(watcherService, QDBusConnection::sessionBus(),
                                       QDBusServiceWatcher::WatchForRegistration, this))
{
    connect(watcher_, &QDBusServiceWatcher::serviceRegistered, this, &StatusNotifierTray::check);
    // A watcher may be there before the host that shows the icons.
    QDBusConnection::sessionBus().connect(watcherService, watcherPath, watcherService,
                                          QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(check()));
    check();
}

// Asks the watcher whether a host is registered, without waiting for the
// answer: no watcher on the bus answers at once with an error, which counts
// as no tray.
void StatusNotifierTray::check()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        watcherService, watcherPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    auto* call = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get, askTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *done;
        available_ = !reply.isError() && reply.value().variant().toBool();
        if (!std::exchange(answered_, true) && onAnswered)
            onAnswered(available_);
        if (available_ && onAvailable)
            onAvailable();
    });
}
