#pragma once

#include <QList>
#include <QString>

// The processes that hold a listening TCP socket on a port of this machine.
struct PortListener {
    qint64 pid = 0;
    QString executableName;  // file name of the program it runs ("" when unreadable)
    QString commandName;     // the name it was started under
    bool sameUser = false;   // runs as Sayri's own user
};

namespace PortListeners {

// Every process with a socket listening on `port` (IPv4 or IPv6, any address).
QList<PortListener> find(quint16 port);
// Ends a process at once (SIGKILL); false when it could not be signalled.
bool forceEnd(qint64 pid);

}  // namespace PortListeners
