#pragma once

#include "platform/ChildProcess.h"

#include <QStringList>

class QFile;

// Starts `program` with `arguments` as a child of a watcher thread of its own;
// returns once the program has been executed (or has failed to be).
ChildProcess::Launch launchChildProcess(const QString& program, const QStringList& arguments, const QFile& output);
