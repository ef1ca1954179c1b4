#include "platform/linux/system/LinuxProcesses.h"

#include "platform/linux/system/LinuxChildProcess.h"
#include "platform/linux/system/ProcPortListeners.h"

ChildProcess::Launch LinuxProcesses::launch(const QString& program, const QStringList& arguments, const QFile& output)
{
    return launchChildProcess(program, arguments, output);
}

QList<PortListener> LinuxProcesses::listenersOn(quint16 port)
{
    return PortListeners::find(port);
}

bool LinuxProcesses::forceEnd(qint64 pid)
{
    return PortListeners::forceEnd(pid);
}
