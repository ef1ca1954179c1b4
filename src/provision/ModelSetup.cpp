#include "provision/ModelSetup.h"

#include "BuildSettings.h"
#include "provision/Sha256.h"
#include "store/Config.h"
#include "store/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    return !path.isEmpty() && info.isFile() && info.size() > plausibleModelSize;
}

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

}  // namespace ModelSetup
