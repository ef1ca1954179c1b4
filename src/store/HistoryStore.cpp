#include "store/HistoryStore.h"

#include "store/AtomicFile.h"
#include "store/Config.h"
#include "store/Log.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>

namespace {

const QString dateKey = QStringLiteral("date");
const QString rawKey = QStringLiteral("raw");
const QString textKey = QStringLiteral("text");
const QString modeKey = QStringLiteral("mode");

// Only the one form the store writes: 2026-01-31T09:05:07Z.
std::optional<QDateTime> parseDate(const QString& text)
{
    static const QRegularExpression form(QStringLiteral(R"(^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}Z$)"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    QDateTime date = QDateTime::fromString(text, Qt::ISODate);
    if (!date.isValid())
        return std::nullopt;
    return date.toUTC();
}

std::optional<QString> stringField(const QJsonObject& o, const QString& key)
{
    const auto it = o.constFind(key);
    if (it == o.constEnd() || !it->isString())
        return std::nullopt;
    return it->toString();
}

}  // namespace

HistoryStore::HistoryStore() : url_(Config::file(QStringLiteral("history.json")))
{
    QFile f(url_);
    if (!f.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return;
    if (auto decoded = decode(bytes))
        entries_ = std::move(*decoded);
    else
        fileIsBroken_ = true;
}

std::optional<QList<HistoryEntry>> HistoryStore::decode(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    QList<HistoryEntry> out;
    const QJsonArray array = doc.array();
    out.reserve(array.size());
    for (const QJsonValue& value : array) {
        if (!value.isObject())
            return std::nullopt;
        const QJsonObject o = value.toObject();
        const auto dateText = stringField(o, dateKey);
        const auto date = dateText ? parseDate(*dateText) : std::nullopt;
        const auto raw = stringField(o, rawKey);
        const auto text = stringField(o, textKey);
        const auto mode = stringField(o, modeKey);
        if (!date || !raw || !text || !mode)
            return std::nullopt;
        out.append({*date, *raw, *text, *mode});
    }
    return out;
}

QByteArray HistoryStore::encode(const QList<HistoryEntry>& entries)
{
    QJsonArray array;
    for (const HistoryEntry& e : entries) {
        QJsonObject o;
        o.insert(dateKey, e.date.toUTC().toString(Qt::ISODate));
        o.insert(rawKey, e.raw);
        o.insert(textKey, e.text);
        o.insert(modeKey, e.mode);
        array.append(o);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

bool HistoryStore::keepBrokenFile()
{
    if (!QFileInfo::exists(url_))
        return true;
    const QString stamp = QLocale::c().toString(QDateTime::currentDateTime(), QStringLiteral("yyyyMMdd-HHmmss"));
    QString kept = url_ + QStringLiteral(".broken-") + stamp;
    for (int n = 2; QFileInfo::exists(kept); ++n)
        kept = url_ + QStringLiteral(".broken-%1-%2").arg(stamp).arg(n);
    if (!QFile::rename(url_, kept)) {
        Log::write(
            QStringLiteral("履歴ファイル history.json を読めなかったうえ別名で残すこともできないので、上書きしません"));
        return false;
    }
    Log::write(QStringLiteral("読めなかった履歴ファイルを %1 として残しました").arg(QFileInfo(kept).fileName()));
    return true;
}

bool HistoryStore::add(const QString& raw, const QString& text, const QString& mode)
{
    QDateTime now = QDateTime::currentDateTimeUtc();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    entries_.prepend({now, raw, text, mode});
    while (entries_.size() > cap)
        entries_.removeLast();

    if (fileIsBroken_) {
        if (!keepBrokenFile())
            return false;
        fileIsBroken_ = false;
    }
    QString error;
    if (writeFileAtomically(url_, encode(entries_), &error))
        return true;
    Log::write(QStringLiteral("履歴ファイル history.json を保存できませんでした: ") + error);
    return false;
}
