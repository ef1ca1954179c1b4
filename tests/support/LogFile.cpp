#include "LogFile.h"
#include "TestDataFolder.h"

#include "store/Config.h"

#include <QRegularExpression>

QStringList logMessages()
{
    static const QRegularExpression stamp(QStringLiteral("^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\] "));
    QStringList out =
        QString::fromUtf8(readFile(Config::file(QStringLiteral("sayri.log")))).split(u'\n', Qt::SkipEmptyParts);
    return out.replaceInStrings(stamp, QString());
}

bool logContains(const QString& message)
{
    return logMessages().contains(message);
}
