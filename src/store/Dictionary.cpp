#include "store/Dictionary.h"

// Placeholder until the dictionary file operations land.
namespace Config {
QList<DictionaryEntry> dictionaryEntries() { return {}; }
QString dictionaryLine() { return {}; }
QString hintLine(const QStringList&) { return {}; }
QList<DisplayEntry> dictionaryDisplayEntries() { return {}; }
QList<Replacement> dictionaryReplacements() { return {}; }
QStringList appendDictionaryWords(const QStringList&) { return {}; }
CSVImportResult importDictionaryCSV(const QString&) { return {}; }
void rewriteDictionary(const QList<DictionaryEntry>&) {}
void removeWord(const QString&) {}
}  // namespace Config
