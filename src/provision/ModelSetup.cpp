#include "provision/ModelSetup.h"

#include "store/Config.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace ModelSetup {

namespace {

bool isExecutableFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

}  // namespace

std::optional<QString> find()
{
    const QString path = Config::shared().whisperModelPath;
    const QFileInfo info(path);
    if (info.isFile() && info.size() > 0)
        return path;
    return std::nullopt;
}

std::optional<QString> findBinary()
{
    const QString name = QStringLiteral("whisper-server");
    QStringList candidates{Config::shared().whisperBinary};
    if (QCoreApplication::instance())
        candidates << QCoreApplication::applicationDirPath() + u'/' + name;
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

}  // namespace ModelSetup

// Placeholders until the model setup lands.
namespace ModelSetup {
QString modelsDir() { return Config::file(QStringLiteral("models")); }
QStringList modelURLs() { return {}; }
}  // namespace ModelSetup
