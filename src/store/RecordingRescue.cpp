#include "store/RecordingRescue.h"

#include "store/Config.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace 録音の救出 {

namespace {

constexpr qsizetype wavHeaderBytes = 44;
constexpr double bytesPerSecond = 32000;  // 16 kHz, 16-bit, mono

// "wav" exactly, as the extension after the last dot; a name that starts with
// its only dot (".wav") has no extension.
bool isWav(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 && QStringView(name).mid(dot + 1) == u"wav";
}

// Deletes all but the newest ".wav" files; other files are never touched,
// nor is `justWritten`, which always counts among those kept (dates can lie:
// a clock set back, files copied in).
void 古いものから片付ける(const QString& folder, const QString& justWritten)
{
    QDir dir(folder);
    if (!dir.exists())
        return;
    struct Item {
        QString path;
        QDateTime modified;
    };
    QList<Item> items;
    const QFileInfoList listing = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& info : listing) {
        if (isWav(info.fileName()) && info.absoluteFilePath() != justWritten)
            items.append({info.absoluteFilePath(), info.lastModified()});
    }
    // Newest first; a date that cannot be read counts as the distant past.
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        if (!b.modified.isValid())
            return a.modified.isValid();
        return a.modified.isValid() && a.modified > b.modified;
    });
    for (qsizetype i = 残す数 - 1; i < items.size(); ++i)
        QFile::remove(items.at(i).path);
}

}  // namespace

QString フォルダ()
{
    return Config::file(QStringLiteral("救出した録音"));
}

std::optional<QString> 残す(const QByteArray& wav)
{
    const double seconds = double(std::max<qsizetype>(wav.size() - wavHeaderBytes, 0)) / bytesPerSecond;
    if (seconds < 最短秒数)
        return std::nullopt;

    const QString folder = フォルダ();
    QDir().mkpath(folder);

    const QString stem = QStringLiteral("録音_")
                         + QLocale::c().toString(QDateTime::currentDateTime(), QStringLiteral("yyyy-MM-dd_HHmmss"))
                         + QStringLiteral("_%1秒").arg(qint64(std::trunc(seconds)));

    // A second rescue within the same second gets "_2", "_3", ... instead of
    // replacing the first one.
    for (int n = 1; n < 1000; ++n) {
        const QString name = n == 1 ? stem + QStringLiteral(".wav") : stem + QStringLiteral("_%1.wav").arg(n);
        const QString path = folder + u'/' + name;
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (QFileInfo::exists(path))
                continue;
            return std::nullopt;
        }
        if (f.write(wav) != wav.size() || !f.flush()) {
            f.close();
            f.remove();
            return std::nullopt;
        }
        f.close();
        古いものから片付ける(folder, QFileInfo(path).absoluteFilePath());
        return path;
    }
    return std::nullopt;
}

}  // namespace 録音の救出
