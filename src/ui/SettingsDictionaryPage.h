#pragma once

#include <QWidget>

class DictionaryTable;

// The page "じぶん辞書": how many words steer recognition, the word count,
// "＋ 追加", "プロンプトをコピー", "CSVを読み込む", "読み込みを取り消す" while the
// last import can be taken back, "変更を反映（認識に効かせる）" while a move or
// edit waits to be applied, and the dictionary table, which lives as long as
// the window and is only lent to each new page.
class SettingsDictionaryPage : public QWidget {
    Q_OBJECT
public:
    // Fills `table` from the dictionary file and places it on this page.
    SettingsDictionaryPage(QWidget* parent, QSize windowSize, DictionaryTable* table, bool needsApply,
                           bool importUndoable);

    // The summary above the table for these counts (two lines when some words
    // beyond the budget still correct by their readings).
    static QString summary(int active, int replaceable);

Q_SIGNALS:
    void addWordClicked();
    void importCSVClicked();
    void undoImportClicked();
    void copyPromptClicked();
    void applyClicked();
};
