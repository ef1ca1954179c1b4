#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The personal dictionary, "dictionary.txt" in the data folder: one word per
// line, "#" comments, an optional reading before "=". Every call reads the
// file afresh.
namespace Config {

struct DictionaryEntry {
    std::optional<QString> reading;
    QString surface;
    bool operator==(const DictionaryEntry&) const = default;
};

struct DisplayEntry {
    std::optional<QString> reading;
    QString surface;
    bool active = false;  // inside the prompt budget
    bool operator==(const DisplayEntry&) const = default;
};

struct Replacement {
    QString from;
    QString to;
    bool operator==(const Replacement&) const = default;
};

struct CSVImportResult {
    int added = 0;
    int skipped = 0;
    bool failed = false;  // the dictionary could not be written: it is as it was
};

// What a CSV word list holds for the dictionary, read without writing.
struct CSVWords {
    enum class Problem { none, cannotOpen, tooLarge, notText };
    Problem problem = Problem::none;
    QList<DictionaryEntry> words;  // not in the dictionary yet, in file order
    int duplicates = 0;            // rows whose word is there already, or earlier in the list
    int unusable = 0;              // lines that cannot be dictionary rows
};

// Larger files are not word lists.
inline constexpr qint64 csvSizeLimit = 1024 * 1024;

QList<DictionaryEntry> dictionaryEntries();
// Dictionary part of the prompt, without screen terms ("" or "...。").
QString dictionaryLine();
// The full prompt: dictionary words first, then screen terms.
QString hintLine(const QStringList& screenTerms);
QList<DisplayEntry> dictionaryDisplayEntries();
// Readings to rewrite, longest `from` first.
QList<Replacement> dictionaryReplacements();
// The text with every reading rewritten to its written form, longest first.
QString rewriteReadings(QString text);
// The lines actually added, or nothing when the file could not be written
// (or is not UTF-8 text): then it is as it was.
std::optional<QStringList> appendDictionaryWords(const QStringList& words);
// The same for words, each written as the line that reads back as it.
std::optional<QStringList> appendDictionaryEntries(const QList<DictionaryEntry>& words);
// False when "dictionary.txt" exists but cannot be read as UTF-8 text: then
// nothing is appended to it, so callers must not report words as duplicates.
bool dictionaryAcceptsWords();
CSVWords readDictionaryCSV(const QString& path);
// Appends the words read from a CSV file. The file as it was is kept first
// as "dictionary.txt.before-import", so that one step puts it back.
CSVImportResult importDictionaryWords(const CSVWords& csv);
CSVImportResult importDictionaryCSV(const QString& path);  // read, then import
// Puts back the file as it was before the last import. False when there is
// none or it cannot be written.
bool putBackDictionaryBeforeImport();
// The file's bytes as on disk; empty when it is missing.
QByteArray dictionaryBytes();
// False when the file could not be written: it is then as it was.
bool rewriteDictionary(const QList<DictionaryEntry>& order);
// Why the line `rewriteDictionary` writes for `word` would not be one line
// that reads back as that same word: a line break in it, a reading holding
// "=", or a written form that needs a reading ("#…" or "a=b" alone).
enum class WordProblem { none, lineBreak, equalsInReading, needsReading };
WordProblem wordProblem(const DictionaryEntry& word);
// False when the file could not be read as text or written.
bool removeWord(const QString& surface);

}  // namespace Config
