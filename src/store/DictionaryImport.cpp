// Importing a CSV word list (reading, written form) into the personal
// dictionary.
#include "store/Dictionary.h"

#include "store/DictionaryFile.h"
#include "support/Graphemes.h"

#include <QFile>

namespace Config {

namespace {

// A header row is recognised by one of these words in a field (exact match).
const QStringList twoColumnHeaderWords{
    QStringLiteral("よみ"), QStringLiteral("読み"),    QStringLiteral("reading"), QStringLiteral("ひょうき"),
    QStringLiteral("表記"), QStringLiteral("surface"), QStringLiteral("word"),    QStringLiteral("単語"),
};
const QStringList oneColumnHeaderWords{
    QStringLiteral("よみ"),
    QStringLiteral("読み"),
    QStringLiteral("単語"),
    QStringLiteral("word"),
};

// Trimmed from both ends of every field; tabs and other spaces are not.
const QString fieldTrim = QStringLiteral(" \"'");

// UTF-8 first, then Shift-JIS. Text holding NUL characters is refused too:
// that is what UTF-16 looks like when it happens to pass as either.
std::optional<QString> decodeCSV(const QByteArray& bytes)
{
    for (const char* encoding : {"UTF-8", "Shift_JIS"}) {
        const auto text = dictionaryFile::decodeStrictly(bytes, encoding);
        if (text && !text->contains(QChar(u'\0')))
            return text;
    }
    return std::nullopt;
}

// Lines end at every LF and every CR; empty lines are dropped.
QList<QStringView> csvLines(const QString& text)
{
    QList<QStringView> out;
    const QStringView all(text);
    qsizetype start = 0;
    for (qsizetype i = 0; i <= all.size(); ++i) {
        if (i == all.size() || all[i] == u'\n' || all[i] == u'\r') {
            if (i > start)
                out.append(all.mid(start, i - start));
            start = i + 1;
        }
    }
    return out;
}

QString trimmedField(QStringView field)
{
    qsizetype begin = 0;
    qsizetype end = field.size();
    while (begin < end && fieldTrim.contains(field[begin]))
        ++begin;
    while (end > begin && fieldTrim.contains(field[end - 1]))
        --end;
    return field.mid(begin, end - begin).toString();
}

// The dictionary line a CSV row stands for, or nothing for a header, comment
// or empty row. Fields are cut at the first two commas; there is no quoting,
// and anything after the second comma is ignored.
std::optional<QString> wordOf(QStringView row)
{
    const QString line = Graphemes::trimmedBlanks(row.toString());
    if (line.isEmpty() || dictionaryFile::isComment(line))
        return std::nullopt;

    const qsizetype firstComma = line.indexOf(u',');
    const QString first = trimmedField(QStringView(line).left(firstComma == -1 ? line.size() : firstComma));
    std::optional<QString> second;
    if (firstComma != -1) {
        const qsizetype secondComma = line.indexOf(u',', firstComma + 1);
        const qsizetype end = secondComma == -1 ? line.size() : secondComma;
        second = trimmedField(QStringView(line).mid(firstComma + 1, end - firstComma - 1));
    }

    if (first.isEmpty())
        return std::nullopt;
    if (second && !second->isEmpty()) {
        if (twoColumnHeaderWords.contains(first) || twoColumnHeaderWords.contains(*second))
            return std::nullopt;
        return first == *second ? first : first + u'=' + *second;
    }
    if (oneColumnHeaderWords.contains(first))
        return std::nullopt;
    return first;
}

}  // namespace

CSVImportResult importDictionaryCSV(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return {};
    const auto text = decodeCSV(bytes);
    if (!text)
        return {};

    QStringList words;
    for (const QStringView row : csvLines(*text)) {
        if (const auto word = wordOf(row))
            words.append(*word);
    }
    if (words.isEmpty())
        return {};

    const int added = int(appendDictionaryWords(words).size());
    return {added, int(words.size()) - added};
}

}  // namespace Config
