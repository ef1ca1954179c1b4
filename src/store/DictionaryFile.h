#pragma once

// Inside the dictionary functions: reading "dictionary.txt" and the rules for
// one line. Not for use elsewhere.

#include "store/Dictionary.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace Config::dictionaryFile {

enum class State {
    missing,     // no file: readers see no words, an append creates it
    unreadable,  // exists but cannot be read
    notUtf8,     // exists but is not valid UTF-8
    ok,
};

struct Contents {
    State state = State::missing;
    QByteArray bytes;  // exactly as on disk
    QString text;      // decoded, without a byte-order mark
    bool hasBom = false;
};

QString path();
Contents read();
// Replaces the file through a temporary file. False (and a log line) on
// failure; the file is then as it was.
bool write(const QByteArray& bytes);

// The text decoded with the named encoding, or nothing when the bytes are not
// valid in it. A byte-order mark at the start is dropped.
std::optional<QString> decodeStrictly(const QByteArray& bytes, const char* encoding);

// The file's lines split at LF, each without its line break (see lineBody).
// Empty lines are kept.
QStringList lines(const QString& text);
// A line without the CRs that end it, and the blanks among them: they belong
// to the line break (CR LF, or CR CR LF from a file converted twice), never to
// the word, so a written form never ends in a carriage return that a paste
// would type, and a word reads back the same after the file is rewritten.
QString lineBody(const QString& line);

bool isComment(const QString& trimmed);
// One trimmed, non-empty, non-comment line as an entry.
DictionaryEntry parse(const QString& trimmed);
// The written form a trimmed word line stands for: what duplicates and
// deletions compare.
QString keyOf(const QString& trimmed);
// The entries of a file that was read; none unless it read as UTF-8.
QList<DictionaryEntry> entriesOf(const Contents& contents);

}  // namespace Config::dictionaryFile
