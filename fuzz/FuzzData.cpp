#include "FuzzData.h"

#include "store/Config.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace FuzzData {

void useScratchDataFolder()
{
    static QTemporaryDir home;
    if (!home.isValid())
        fail("a temporary folder can be made");
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    QDir().mkpath(Config::dataFolder());
}

void writeDataFile(const QString& name, const QByteArray& bytes)
{
    QFile f(Config::file(name));
    if (bytes.isNull()) {
        f.remove();
        return;
    }
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        fail("the data folder can be written", f.fileName());
}

QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

QString text(const uint8_t* data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
}

void fail(const char* promise, const QString& detail)
{
    std::fprintf(stderr, "broken promise: %s\n%s\n", promise, detail.toUtf8().constData());
    std::abort();
}

}  // namespace FuzzData
