#pragma once

#include "store/Dictionary.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The dictionary's rules that need no window: where a dragged row lands,
// what a drag carries, and what the edit and add dialogs stand for.
namespace DictionaryRules {

// The index at which the row taken from `source` is put back when it is
// dropped above row `destination` of a table of `count` rows (`destination`
// == `count` is below the last row): one less when it came from above,
// never past the rows that remain.
int moveTarget(int source, int destination, int count);

// The row a drag's payload names (decimal digits only), when it is one of
// `count` rows.
std::optional<int> sourceRow(const QByteArray& payload, int count);

// What the edit dialog's two fields stand for. No word and no refusal: the
// written form is empty and nothing changes. A refusal is the short message
// the dialog shows instead of writing a line that would not read back as the
// same word.
struct Edit {
    std::optional<Config::DictionaryEntry> word;
    QString refusal;
};
Edit editedWord(const QString& surfaceText, const QString& readingText);

// What the add dialog's two fields stand for, by the same rule: with a
// reading one word; without, the written form split at "、", ",", "・",
// spaces and line breaks into several. A refusal adds none of them.
struct Addition {
    QList<Config::DictionaryEntry> words;
    QString refusal;
};
Addition addedWords(const QString& surfaceText, const QString& readingText);

// What the user reads when "dictionary.txt" could not be written.
QString cannotWrite();

}  // namespace DictionaryRules
