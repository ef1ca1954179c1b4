// Importing a CSV word list (reading, written form) into the personal
// dictionary: read and checked first, written only when asked, with the
// file as it was kept beside it.
#include "store/Dictionary.h"

#include "store/AtomicFile.h"
#include "store/Config.h"
#include "store/DictionaryFile.h"
#include "store/Log.h"
#include "support/Graphemes.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

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

// What one line of a CSV file is to the dictionary.
struct Row {
    enum Kind { ignored, unusable, word } kind = ignored;
    DictionaryEntry entry;
};

// Fields are cut at every comma; there is no quoting. Empty, comment and
// header rows are ignored; a code fence, a row with a third field, or a word
// whose line would not read back as it cannot be a dictionary row.
Row rowOf(QStringView text)
{
    const QString line = Graphemes::trimmedBlanks(text.toString());
    if (line.isEmpty() || dictionaryFile::isComment(line))
        return {};
    if (line.startsWith(QStringLiteral("```")) || line.startsWith(QStringLiteral("~~~")))
        return {Row::unusable, {}};

    const QList<QStringView> fields = QStringView(line).split(u',');
    for (const QStringView field : fields.mid(2)) {
        if (!trimmedField(field).isEmpty())
            return {Row::unusable, {}};
    }
    const QString first = trimmedField(fields.at(0));
    const QString second = fields.size() > 1 ? trimmedField(fields.at(1)) : QString();
    if (first.isEmpty())
        return {};
    DictionaryEntry entry{std::nullopt, first};
    if (!second.isEmpty()) {
        if (twoColumnHeaderWords.contains(first) || twoColumnHeaderWords.contains(second))
            return {};
        if (first != second)
            entry = {first, second};
    } else if (oneColumnHeaderWords.contains(first)) {
        return {};
    }
    if (wordProblem(entry) != WordProblem::none)
        return {Row::unusable, {}};
    return {Row::word, entry};
}

QString backupPath()
{
    return Config::file(QStringLiteral("dictionary.txt.before-import"));
}

}  // namespace

CSVWords readDictionaryCSV(const QString& path)
{
    CSVWords out;
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly)) {
        out.problem = CSVWords::Problem::cannotOpen;
        return out;
    }
    // Never more than one byte past the limit is read.
    const QByteArray bytes = f.read(csvSizeLimit + 1);
    if (f.error() != QFileDevice::NoError || bytes.size() > csvSizeLimit) {
        out.problem = bytes.size() > csvSizeLimit ? CSVWords::Problem::tooLarge : CSVWords::Problem::cannotOpen;
        return out;
    }
    const auto text = decodeCSV(bytes);
    if (!text) {
        out.problem = CSVWords::Problem::notText;
        return out;
    }

    QSet<QString> known;
    for (const DictionaryEntry& e : dictionaryEntries())
        known.insert(e.surface);
    for (const QStringView line : csvLines(*text)) {
        const Row row = rowOf(line);
        if (row.kind == Row::unusable) {
            ++out.unusable;
        } else if (row.kind == Row::word) {
            if (known.contains(row.entry.surface)) {
                ++out.duplicates;
            } else {
                known.insert(row.entry.surface);
                out.words.append(row.entry);
            }
        }
    }
    return out;
}

CSVImportResult importDictionaryWords(const CSVWords& csv)
{
    CSVImportResult result{0, csv.duplicates};
    if (csv.problem != CSVWords::Problem::none || csv.words.isEmpty())
        return result;
    const dictionaryFile::Contents before = dictionaryFile::read();
    QString error;
    if (!dictionaryAcceptsWords() || !writeFileAtomically(backupPath(), before.bytes, &error)) {
        if (!error.isEmpty())
            Log::write(QStringLiteral("読み込む前の辞書を残せなかったため、読み込みませんでした: ") + error);
        result.failed = true;
        return result;
    }
    const auto added = appendDictionaryEntries(csv.words);
    if (!added) {
        result.failed = true;
        return result;
    }
    result.added = int(added->size());
    result.skipped += int(csv.words.size()) - result.added;
    return result;
}

CSVImportResult importDictionaryCSV(const QString& path)
{
    return importDictionaryWords(readDictionaryCSV(path));
}

bool putBackDictionaryBeforeImport()
{
    QFile backup(backupPath());
    if (!backup.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = backup.readAll();
    if (backup.error() != QFileDevice::NoError || !dictionaryFile::write(bytes))
        return false;
    Log::write(QStringLiteral("辞書を読み込む前の内容に戻しました"));
    return true;
}

}  // namespace Config
