#pragma once

#include "platform/ChildProcess.h"
#include "platform/PortListeners.h"

#include <QList>
#include <QStringList>

class QFile;

// What the recognition server needs of the operating system: starting a
// program beside Sayri, and the processes that listen on a port.
class Processes {
public:
    virtual ~Processes() = default;
    // Starts `program` with `arguments`; returns once the program has been
    // executed (or has failed to be).
    virtual ChildProcess::Launch launch(const QString& program, const QStringList& arguments, const QFile& output) = 0;
    // Every process with a socket listening on `port` (IPv4 or IPv6, any address).
    virtual QList<PortListener> listenersOn(quint16 port) = 0;
    // Ends a process at once (SIGKILL); false when it could not be signalled.
    virtual bool forceEnd(qint64 pid) = 0;
};
