#pragma once

#include <QFile>
#include <QString>

#include <memory>

// The single diagnostic log, "sayri.log" in the data folder. Every line is
// "[yyyy-MM-dd HH:mm:ss] message" in local time, appended whole from any thread.
namespace Log {

void write(const QString& message);

// A file in the data folder opened for appending, for a child process's
// output. Never fails: the fallback writes to the null device.
std::unique_ptr<QFile> handle(const QString& name);

// A short stable token standing for an audio device name in log lines.
QString 伏せた機器名(const QString& name);

}  // namespace Log
