#pragma once

#include <QFileDialog>

// The dialog that chooses a word list (CSV) to import into the personal
// dictionary: Qt's own file dialog in Japanese, opening in the Downloads
// folder, with the user's own folders at the side. Callers show it and
// listen to `fileSelected`.
class CsvImportDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit CsvImportDialog(QWidget* parent = nullptr);
};
