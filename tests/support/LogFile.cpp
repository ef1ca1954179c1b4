#include "LogFile.h"

#include "store/Config.h"

#include <QFile>
#include <QRegularExpression>

QStringList logMessages()
{
    QFile f(Config::file(QStringLiteral("sayri.log")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression stamp(QStringLiteral("^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\] "));
    QStringList out;
    for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
        QString l = line;
        out << l.remove(stamp);
    }
    return out;
}

bool logContains(const QString& message)
{
    return logMessages().contains(message);
}
