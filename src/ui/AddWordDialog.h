#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

// The small dialog that adds words to the personal dictionary: a message, an
// explanation, the written form and its optional reading. It is application
// modal but never runs an event loop of its own: callers show it and listen
// to `accepted` (the "追加して反映" button) or `finished`.
class AddWordDialog : public QDialog {
    Q_OBJECT
public:
    explicit AddWordDialog(QWidget* parent = nullptr);

    QString surface() const;  // the written form as typed
    QString reading() const;  // the reading as typed

    QLineEdit* surfaceField() const { return surface_; }
    QLineEdit* readingField() const { return reading_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* cancelButton() const { return cancel_; }

private:
    QLineEdit* surface_;
    QLineEdit* reading_;
    QPushButton* add_;
    QPushButton* cancel_;
};
