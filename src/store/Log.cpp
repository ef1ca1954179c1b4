#include "store/Log.h"

#include "store/Config.h"

#include <QDateTime>
#include <QLocale>
#include <QProcess>

#include <mutex>

namespace Log {

namespace {
std::mutex appendMutex;
}

void write(const QString& message)
{
    const QString stamp = QLocale::c().toString(QDateTime::currentDateTime(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QByteArray line = (u'[' + stamp + QStringLiteral("] ") + message + u'\n').toUtf8();

    std::lock_guard lock(appendMutex);
    QFile f(Config::file(QStringLiteral("sayri.log")));
    // Append mode: each line goes on the end in one write, even if another
    // process appends to the same file.
    if (f.open(QIODevice::WriteOnly | QIODevice::Append))
        f.write(line);
}

std::unique_ptr<QFile> handle(const QString& name)
{
    auto f = std::make_unique<QFile>(Config::file(name));
    if (f->open(QIODevice::WriteOnly | QIODevice::Append))
        return f;
    f = std::make_unique<QFile>(QProcess::nullDevice());
    f->open(QIODevice::WriteOnly);
    return f;
}

QString 伏せた機器名(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("マイク#なし");
    quint32 hash = 0x84222325u;
    for (const char byte : name.toUtf8()) {
        hash ^= quint32(quint8(byte));
        hash *= 0x1B3u;
    }
    return QStringLiteral("マイク#") + QString::asprintf("%06x", hash & 0xFFFFFFu);
}

}  // namespace Log
