#pragma once

#include "store/Dictionary.h"

#include <QList>
#include <QWidget>

// The words of the personal dictionary on the dictionary page, one row per
// word in file order: drag handle, a dot for words inside the prompt budget,
// the written form, its reading, a status word and a delete button.
// Double-click edits a word, a drag reorders. Every change goes to the
// dictionary file at once; the file stays the truth.
class DictionaryTable : public QWidget {
    Q_OBJECT
public:
    explicit DictionaryTable(QWidget* parent = nullptr);

    // A snapshot of the file, set by the page on every render.
    void setEntries(const QList<Config::DisplayEntry>& entries);
    const QList<Config::DisplayEntry>& entries() const { return entries_; }

    int activeCount() const;       // words inside the prompt budget
    int replaceableCount() const;  // outside it, but with a reading that still corrects

Q_SIGNALS:
    void changed();    // a word was deleted
    void reordered();  // a word was edited or moved

private:
    QList<Config::DisplayEntry> entries_;
};
