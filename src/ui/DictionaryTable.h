#pragma once

#include "store/Dictionary.h"

#include <QList>
#include <QWidget>

class DictionaryModel;
class DictionaryRowDelegate;
class QKeyEvent;
class QLabel;
class QListView;

// The words of the personal dictionary on the dictionary page, one row per
// word in file order: drag handle, a dot for words inside the prompt budget,
// the written form, its reading, a status word and a delete button.
// Double-click edits a word, a drag reorders; the keys do the same
// (keyPressed). Every change goes to the
// dictionary file at once; the file stays the truth.
class DictionaryTable : public QWidget {
    Q_OBJECT
public:
    explicit DictionaryTable(QWidget* parent = nullptr);

    // A snapshot of the file, set by the page on every render.
    void setEntries(const QList<Config::DisplayEntry>& entries);
    const QList<Config::DisplayEntry>& entries() const { return entries_; }

    // Whether the rows are what "dictionary.txt" holds now.
    bool showsFile() const;

    int activeCount() const;       // words inside the prompt budget
    int replaceableCount() const;  // outside it, but with a reading that still corrects

    // The line above the rows: why the file is only shown, or why the last
    // change was not written ("" when there is none).
    QString notice() const;

Q_SIGNALS:
    void changed();    // a word was deleted
    void reordered();  // a word was edited or moved
    void reread();     // the file had changed elsewhere; the rows were read from it again

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Return, Enter or F2 edits the current row, Delete asks to delete it,
    // Alt+Up and Alt+Down move it; false for any other key.
    bool keyPressed(const QKeyEvent& key);
    void editRow(int row);
    // Writes the edit of the word shown as `shown` in `row`; "" when done
    // (or nothing to do), else why not, for the dialog to show.
    QString saveEdit(int row, const Config::DisplayEntry& shown, const QString& surface, const QString& reading);
    void deleteRow(int row);
    bool moveRow(int source, int destination);
    // Whether "dictionary.txt" still holds the words this table shows; when
    // it does not, the change is dropped and logged, and the rows are read
    // from the file again.
    bool fileStillMatches();
    void showFailure(const QString& text);
    void takeModelEntries();

    QList<Config::DisplayEntry> entries_;
    DictionaryModel* model_;
    DictionaryRowDelegate* delegate_;
    QListView* view_;
    QLabel* notice_;
    QString failure_;
};
