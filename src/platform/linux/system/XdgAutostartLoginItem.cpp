#include "platform/linux/system/XdgAutostartLoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const QString entryName = QStringLiteral("autostart/sayri.desktop");

// The XDG configuration folders, the user's own first.
QStringList configFolders()
{
    return QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
}

// Whether an autostart entry starts its program: it exists, is not hidden and
// not switched off by the GNOME key.
bool entryStarts(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    bool inMainGroup = false;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n');
    for (QString line : lines) {
        line = line.trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QStringLiteral("Hidden") && value == QStringLiteral("true"))
            return false;
        if (key == QStringLiteral("X-GNOME-Autostart-enabled") && value == QStringLiteral("false"))
            return false;
    }
    return true;
}

}  // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(QString program) : program_(std::move(program))
{
    if (program_.isEmpty()) {
        // Started from an AppImage, the executable lives in a temporary mount.
        program_ = qEnvironmentVariable("APPIMAGE");
        if (program_.isEmpty())
            program_ = QCoreApplication::applicationFilePath();
    }
}

QString XdgAutostartLoginItem::userEntryPath() const
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' + entryName;
}

QString XdgAutostartLoginItem::effectiveEntryPath() const
{
    // The user's entry overrides system-wide ones of the same name.
    const QString user = userEntryPath();
    if (QFileInfo::exists(user))
        return user;
    for (const QString& folder : configFolders()) {
        const QString path = folder + u'/' + entryName;
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}

bool XdgAutostartLoginItem::isEnabled()
{
    const QString path = effectiveEntryPath();
    return !path.isEmpty() && entryStarts(path);
}

bool XdgAutostartLoginItem::setEnabled(bool enabled, QString& error)
{
    const QString path = userEntryPath();
    auto write = [&](bool hidden) {
        const QString folder = QFileInfo(path).path();
        if (!QDir().mkpath(folder)) {
            error = QStringLiteral("フォルダ %1 を作れませんでした").arg(folder);
            return false;
        }
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(entryText(hidden).toUtf8()) < 0 || !file.commit()) {
            error = QStringLiteral("%1 を書き込めませんでした（%2）").arg(path, file.errorString());
            return false;
        }
        return true;
    };

    if (enabled)
        return write(false);

    QFile user(path);
    if (user.exists() && !user.remove()) {
        error = QStringLiteral("%1 を削除できませんでした（%2）").arg(path, user.errorString());
        return false;
    }
    // A system-wide entry would still start Sayri: hide it for this user.
    if (isEnabled())
        return write(true);
    return true;
}

QString XdgAutostartLoginItem::entryText(bool hidden) const
{
    QStringList lines{
        QStringLiteral("[Desktop Entry]"),
        QStringLiteral("Type=Application"),
        QStringLiteral("Name=サイリ"),
        QStringLiteral("Name[en]=Sayri"),
        QStringLiteral("Comment=ローカルで動く日本語の音声入力"),
        QStringLiteral("Exec=") + execLine(program_),
        QStringLiteral("Icon=sayri"),
        QStringLiteral("Terminal=false"),
    };
    if (hidden)
        lines << QStringLiteral("Hidden=true");
    return lines.join(u'\n') + u'\n';
}

QString XdgAutostartLoginItem::execLine(const QString& program)
{
    // Field codes start with "%": a literal one is doubled.
    QString argument = program;
    argument.replace(u'%', QStringLiteral("%%"));

    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = false;
    for (const QChar c : argument)
        quote = quote || reserved.contains(c);
    if (quote) {
        QString quoted = QStringLiteral("\"");
        for (const QChar c : argument) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                quoted += u'\\';
            quoted += c;
        }
        argument = quoted + u'"';
    }

    // The value itself is a desktop-entry string with its own escapes.
    QString value;
    for (const QChar c : argument) {
        switch (c.unicode()) {
        case '\\':
            value += QStringLiteral("\\\\");
            break;
        case '\n':
            value += QStringLiteral("\\n");
            break;
        case '\t':
            value += QStringLiteral("\\t");
            break;
        case '\r':
            value += QStringLiteral("\\r");
            break;
        default:
            value += c;
            break;
        }
    }
    return value + QStringLiteral(" --login-item");
}
