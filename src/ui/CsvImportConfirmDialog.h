#pragma once

#include "store/Dictionary.h"
#include "ui/ConfirmDialog.h"

// Asks before a word list is written into the personal dictionary: how many
// words it adds, the first few of them, the rows it leaves out, and that one
// step puts the dictionary back. "追加して反映" writes, "やめる" leaves it.
class CsvImportConfirmDialog : public ConfirmDialog {
    Q_OBJECT
public:
    static constexpr int examplesShown = 5;

    explicit CsvImportConfirmDialog(const Config::CSVWords& csv, QWidget* parent = nullptr);

    QString summary() const;  // the words and counts, as shown
};
