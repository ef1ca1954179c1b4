#pragma once

#include <QString>

// The processes that hold a listening TCP socket on a port of this machine.
struct PortListener {
    qint64 pid = 0;
    QString executableName;  // file name of the program it runs ("" when unreadable)
    QString commandName;     // the name it was started under
    bool sameUser = false;   // runs as Sayri's own user
    qint64 parentPid = 0;    // the process that started it (0 when unreadable)
    QString parentCommandName;  // the name that parent was started under
};
