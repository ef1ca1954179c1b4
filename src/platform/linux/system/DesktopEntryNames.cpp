#include "platform/linux/system/DesktopEntryNames.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

namespace {

QString unescape(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        default:
            out += next;
            break;
        }
    }
    return out;
}

// The file name of the program an Exec= line starts, lower-case: "xterm" for
// "/usr/bin/xterm -e top", "yakuake" for "env QT_SCALE=1 yakuake".
QString programOf(const QString& exec)
{
    const QStringList words = exec.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString word : words) {
        if (word == QLatin1String("env") || word.contains(QLatin1Char('=')))
            continue;
        word.remove(QLatin1Char('"'));
        return word.section(QLatin1Char('/'), -1).toLower();
    }
    return {};
}

}  // namespace

DesktopEntryNames::DesktopEntryNames(QStringList folders, QString locale)
    : folders_(folders.isEmpty() ? QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)
                                 : std::move(folders)),
      locale_(locale.isEmpty() ? QLocale::system().name() : std::move(locale))
{
}

QString DesktopEntryNames::nameFor(const QString& windowClass, const QString& windowInstance)
{
    const std::optional<Entry> entry = entryFor(windowClass, windowInstance);
    return entry ? entry->name : QString();
}

std::optional<DesktopEntryNames::Entry> DesktopEntryNames::entryFor(const QString& windowClass,
                                                                    const QString& windowInstance)
{
    std::lock_guard guard(lock_);
    refreshIfChanged();
    for (const auto* table : {&byWmClass_, &byFileName_, &byProgram_}) {
        for (const QString& key : {windowClass, windowInstance}) {
            if (key.isEmpty())
                continue;
            const auto it = table->constFind(key.toLower());
            if (it != table->constEnd())
                return *it;
        }
    }
    return std::nullopt;
}

void DesktopEntryNames::refreshIfChanged()
{
    QHash<QString, QDateTime> times;
    for (const QString& folder : folders_)
        times.insert(folder, QFileInfo(folder).lastModified());
    if (read_ && times == folderTimes_)
        return;
    folderTimes_ = times;
    byWmClass_.clear();
    byFileName_.clear();
    byProgram_.clear();
    read_ = true;
    // Earlier folders (the user's own) take precedence.
    for (const QString& folder : folders_) {
        QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            readEntry(it.next());
    }
}

void DesktopEntryNames::readEntry(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    const QString language = locale_.section(QLatin1Char('_'), 0, 0);
    const QString nameLocale = QStringLiteral("Name[%1]").arg(locale_);
    const QString nameLanguage = QStringLiteral("Name[%1]").arg(language);

    bool inEntry = false;
    QString name, localized, languageName, wmClass, type, exec, categories;
    bool hidden = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (inEntry)
                break;  // only the [Desktop Entry] group matters
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inEntry)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = unescape(line.mid(eq + 1).trimmed());
        if (key == QLatin1String("Name"))
            name = value;
        else if (key == nameLocale)
            localized = value;
        else if (key == nameLanguage)
            languageName = value;
        else if (key == QLatin1String("StartupWMClass"))
            wmClass = value;
        else if (key == QLatin1String("Type"))
            type = value;
        else if (key == QLatin1String("Exec"))
            exec = value;
        else if (key == QLatin1String("Categories"))
            categories = value;
        else if (key == QLatin1String("Hidden"))
            hidden = value == QLatin1String("true");
    }
    if (hidden || type != QLatin1String("Application"))
        return;
    const QString best = !localized.isEmpty() ? localized : !languageName.isEmpty() ? languageName : name;
    if (best.isEmpty())
        return;
    const Entry entry{best, categories.split(QLatin1Char(';'), Qt::SkipEmptyParts)};
    const auto add = [&entry](QHash<QString, Entry>& table, const QString& key) {
        if (!key.isEmpty() && !table.contains(key))
            table.insert(key, entry);
    };
    add(byWmClass_, wmClass.toLower());
    add(byFileName_, QFileInfo(path).completeBaseName().toLower());
    add(byProgram_, programOf(exec));
}
