#include "TestDataFolder.h"

#include "store/Config.h"

#include <QDir>
#include <QFile>

TestDataFolder::TestDataFolder()
    : oldHome_(qgetenv("HOME")), oldData_(qgetenv("XDG_DATA_HOME"))
{
    qputenv("HOME", dir_.path().toUtf8());
    qputenv("XDG_DATA_HOME", (dir_.path() + QStringLiteral("/share")).toUtf8());
    Config::replaceShared(ConfigData{});
}

TestDataFolder::~TestDataFolder()
{
    qputenv("HOME", oldHome_);
    if (oldData_.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", oldData_);
}

QString TestDataFolder::path() const
{
    return Config::dataFolder();
}

QString TestDataFolder::file(const QString& name) const
{
    return Config::file(name);
}

QString TestDataFolder::readText(const QString& name) const
{
    QFile f(file(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

void TestDataFolder::writeText(const QString& name, const QString& text) const
{
    QDir().mkpath(path());
    QFile f(file(name));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(text.toUtf8());
}
