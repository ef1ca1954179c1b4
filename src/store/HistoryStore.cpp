#include "store/HistoryStore.h"

#include "store/Config.h"

// Placeholder until the history store lands: memory only.
HistoryStore::HistoryStore() : url_(Config::file(QStringLiteral("history.json"))) {}

void HistoryStore::add(const QString& raw, const QString& text, const QString& mode)
{
    entries_.prepend({QDateTime::currentDateTimeUtc(), raw, text, mode});
    while (entries_.size() > cap)
        entries_.removeLast();
}
