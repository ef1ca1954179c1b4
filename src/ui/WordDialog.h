#pragma once

#include "ui/ConfirmDialog.h"

class QLineEdit;

// A small dialog about one dictionary word: a message, an explanation, the
// written form ("書き方", focused when it opens) and its optional reading
// ("よみ"), a confirming button and "やめる". A refusal from its check is
// shown under the fields, which keep what was typed.
class WordDialog : public ConfirmDialog {
    Q_OBJECT
public:
    WordDialog(const QString& message, const QString& informative, const QString& acceptTitle,
               QWidget* parent = nullptr);

    QString surface() const;  // as typed
    QString reading() const;  // as typed

    QLineEdit* surfaceField() const { return surface_; }
    QLineEdit* readingField() const { return reading_; }

private:
    QLineEdit* surface_;
    QLineEdit* reading_;
};
