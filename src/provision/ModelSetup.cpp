#include "provision/ModelSetup.h"

#include "BuildSettings.h"
#include "provision/Sha256.h"
#include "store/AtomicFile.h"
#include "store/Config.h"
#include "store/Log.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <map>
#include <mutex>

namespace ModelSetup {

namespace {

bool isExecutableFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

bool plausibleModel(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile())
        return false;
    if (info.absoluteFilePath() == QFileInfo(modelsDir() + u'/' + modelFileName).absoluteFilePath())
        return verifiedDownload(path);
    return info.size() > plausibleModelSize;
}

QString recordPath(const QString& path)
{
    return path + QStringLiteral(".sha256");
}

// What a file's record names it by: its size and modification time.
QString stateOf(const QFileInfo& info)
{
    return QStringLiteral("%1 %2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
}

// Fingerprints worked out in this run, by path, with the state they are of:
// a record that cannot be written is not made up for by hashing again.
std::mutex knownLock;
std::map<QString, std::pair<QString, QString>> known;

}  // namespace

QString modelsDir()
{
    return Config::file(QStringLiteral("models"));
}

QString defaultModelPath()
{
    return ConfigData::defaultModelPath();
}

QStringList modelURLs(const QString& fileName)
{
    const QString override = qEnvironmentVariable("SAYRI_MODEL_URLS");
    if (!override.isEmpty()) {
        QStringList urls = override.split(u' ', Qt::SkipEmptyParts);
        if (fileName != modelFileName)
            for (QString& url : urls)
                url = url.left(url.lastIndexOf(u'/') + 1) + fileName;
        return urls;
    }
    const QString hub = QStringLiteral("https://huggingface.co/ggerganov/whisper.cpp/resolve/main/") + fileName;
    QString site = QStringLiteral(SAYRI_SITE_URL);
    while (site.endsWith(u'/'))
        site.chop(1);
    if (site.isEmpty())
        return {hub, hub};
    return {site + QStringLiteral("/models/") + fileName, hub};
}

std::optional<QString> find()
{
    for (const QString& c : {Config::shared().whisperModelPath, modelsDir() + u'/' + modelFileName, defaultModelPath()})
        if (plausibleModel(c))
            return c;
    return std::nullopt;
}

std::optional<QString> findBinary()
{
    const QString name = QStringLiteral("whisper-server");
    QStringList candidates{Config::shared().whisperBinary};
    if (QCoreApplication::instance()) {
        // Beside the executable in the build tree; lib/sayri/ beside bin/ when installed.
        const QString bin = QCoreApplication::applicationDirPath();
        candidates << bin + u'/' + name << QDir::cleanPath(bin + QStringLiteral("/../lib/sayri/") + name);
    }
    // Only absolute folders: the path found is kept in the settings and must
    // not depend on the folder Sayri happened to be started from.
    for (const QString& dir : qEnvironmentVariable("PATH").split(u':', Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(dir))
            candidates << QDir(dir).filePath(name);
    candidates << QStringLiteral("/usr/local/bin/") + name << QStringLiteral("/usr/bin/") + name;
    for (const QString& c : candidates)
        if (!c.isEmpty() && isExecutableFile(c))
            return c;
    return std::nullopt;
}

std::optional<QString> sha256(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return std::nullopt;
    Sha256 hash;
    if (hash.addAll(f) < 0)
        return std::nullopt;
    return hash.hex();
}

bool 本物と一致する(const QString& path, const Fingerprint& genuine)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() != genuine.size)
        return false;
    const auto hash = sha256(path);
    return hash && hash->compare(genuine.sha256, Qt::CaseInsensitive) == 0;
}

void recordFingerprint(const QString& path, const QString& sha256)
{
    const QString state = stateOf(QFileInfo(path));
    {
        std::lock_guard lock(knownLock);
        known[path] = {state, sha256};
    }
    writeFileAtomically(recordPath(path), (sha256 + u' ' + state + u'\n').toLatin1());
}

bool verifiedDownload(const QString& path, const Fingerprint& genuine)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() != genuine.size)
        return false;
    const QString state = stateOf(info);
    std::optional<QString> digest;
    {
        std::lock_guard lock(knownLock);
        if (const auto it = known.find(path); it != known.end() && it->second.first == state)
            digest = it->second.second;
    }
    if (!digest) {
        QFile record(recordPath(path));
        const QString line =
            record.open(QIODevice::ReadOnly) ? QString::fromLatin1(record.read(256)).trimmed() : QString();
        if (line.section(u' ', 1) == state)
            digest = line.section(u' ', 0, 0);
    }
    if (!digest) {
        digest = sha256(path);
        if (!digest)
            return false;
        recordFingerprint(path, *digest);
        if (digest->compare(genuine.sha256, Qt::CaseInsensitive) != 0)
            Log::write(
                QStringLiteral("⚠️ %1 の中身が正しくないため使いません").arg(info.fileName()));
    }
    return digest->compare(genuine.sha256, Qt::CaseInsensitive) == 0;
}

bool resolveAndSave()
{
    const auto model = find();
    if (!model)
        return false;
    const auto binary = findBinary();
    if (!binary)
        return false;
    const ConfigData current = Config::shared();
    if (current.whisperModelPath == *model && current.whisperBinary == *binary)
        return true;
    Config::edit([&](ConfigData& c) {
        c.whisperModelPath = *model;
        c.whisperBinary = *binary;
    });
    Config::save();
    Log::write(QStringLiteral("認識の部品を設定: モデル=%1・本体=%2").arg(*model, *binary));
    return true;
}

void removeLeftoverPartials()
{
    const QDateTime idleSince = QDateTime::currentDateTime().addSecs(-120);
    for (const QFileInfo& part : QDir(modelsDir()).entryInfoList({QStringLiteral("*.part")}, QDir::Files)) {
        // A partial file another running Sayri holds is its own to resume.
        QLockFile lock(part.filePath() + QStringLiteral(".lock"));
        lock.setStaleLockTime(0);
        if (part.lastModified() < idleSince && lock.tryLock(0) && QFile::remove(part.filePath()))
            Log::write(QStringLiteral("途中で終わったダウンロードの残りを消しました: ") + part.fileName());
    }
}

}  // namespace ModelSetup
