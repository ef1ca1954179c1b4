#pragma once

#include "platform/PortListeners.h"

#include <QList>

// Listening sockets and their owners, read from /proc.
namespace PortListeners {

// Every process with a socket listening on `port` (IPv4 or IPv6, any address).
QList<PortListener> find(quint16 port);
// Ends a process at once (SIGKILL); false when it could not be signalled.
bool forceEnd(qint64 pid);

}  // namespace PortListeners
