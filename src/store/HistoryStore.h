#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

struct HistoryEntry {
    QDateTime date;  // UTC, whole seconds
    QString raw;     // as the recognition server returned it
    QString text;    // as pasted
    QString mode;
    bool operator==(const HistoryEntry&) const = default;
};

// The last dictations, newest first, mirrored to "history.json" after every
// add. Main thread only.
class HistoryStore {
public:
    static constexpr int cap = 100;

    HistoryStore();  // loads "history.json"
    void add(const QString& raw, const QString& text, const QString& mode);
    const QList<HistoryEntry>& entries() const { return entries_; }
    QString url() const { return url_; }

private:
    QList<HistoryEntry> entries_;
    QString url_;
};
