#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

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
    // Whether "history.json" holds the entry; the list in memory always does.
    // A write that fails is logged with its reason.
    [[nodiscard]] bool add(const QString& raw, const QString& text, const QString& mode);
    const QList<HistoryEntry>& entries() const { return entries_; }
    QString url() const { return url_; }

    // The "history.json" format: a JSON array, newest first, each object with
    // "date" (UTC, whole seconds, "Z"), "raw", "text" and "mode". Decoding is
    // strict: any missing key or other date form fails the whole list.
    static std::optional<QList<HistoryEntry>> decode(const QByteArray& json);
    static QByteArray encode(const QList<HistoryEntry>& entries);

private:
    // Moves a file that did not decode aside before it is replaced.
    bool keepBrokenFile();

    QList<HistoryEntry> entries_;
    QString url_;
    bool fileIsBroken_ = false;
};
