#pragma once

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
};

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
// The lines actually added.
QStringList appendDictionaryWords(const QStringList& words);
// False when "dictionary.txt" exists but cannot be read as UTF-8 text: then
// nothing is appended to it, so callers must not report words as duplicates.
bool dictionaryAcceptsWords();
CSVImportResult importDictionaryCSV(const QString& path);
void rewriteDictionary(const QList<DictionaryEntry>& order);
// Whether the line `rewriteDictionary` writes for `word` reads back as that
// same word (a written form "#…" or "a=b" without a reading would not).
bool wordReadsBack(const DictionaryEntry& word);
void removeWord(const QString& surface);

}  // namespace Config
