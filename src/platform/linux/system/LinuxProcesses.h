#pragma once

#include "platform/Processes.h"

// Child processes forked by a watcher thread, listeners read from /proc.
class LinuxProcesses : public Processes {
public:
    ChildProcess::Launch launch(const QString& program, const QStringList& arguments, const QFile& output) override;
    QList<PortListener> listenersOn(quint16 port) override;
    bool forceEnd(qint64 pid) override;
};
