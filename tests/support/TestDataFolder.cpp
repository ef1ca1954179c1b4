#include "TestDataFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>

TestDataFolder::TestDataFolder() : oldHome_(qgetenv("HOME")), oldData_(qgetenv("XDG_DATA_HOME"))
{
    qputenv("HOME", dir_.path().toUtf8());
    qputenv("XDG_DATA_HOME", (dir_.path() + QStringLiteral("/share")).toUtf8());
    Config::replaceShared(ConfigData{});
}

TestDataFolder::~TestDataFolder()
{
    restoreVariable("HOME", oldHome_);
    restoreVariable("XDG_DATA_HOME", oldData_);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

void restoreVariable(const char* name, const QByteArray& value)
{
    if (value.isNull())
        qunsetenv(name);
    else
        qputenv(name, value);
}

FullDisk::FullDisk(rlim_t bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead
    getrlimit(RLIMIT_FSIZE, &old_);
    const rlimit small{bytes, old_.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
}

FullDisk::~FullDisk()
{
    setrlimit(RLIMIT_FSIZE, &old_);
}
