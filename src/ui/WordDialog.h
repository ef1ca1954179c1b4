#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

// A small dialog about one dictionary word: a message, an explanation, the
// written form ("書き方", focused when it opens) and its optional reading
// ("よみ"), a confirming button and "やめる". It is application modal but
// never runs an event loop of its own: callers `open()` it and listen to
// `accepted` or `finished`.
class WordDialog : public QDialog {
    Q_OBJECT
public:
    WordDialog(const QString& message, const QString& informative, const QString& acceptTitle,
               QWidget* parent = nullptr);

    QString surface() const;  // as typed
    QString reading() const;  // as typed

    // Asked when the confirming button is pressed: a non-empty answer is
    // shown under the fields and the dialog stays open.
    void setCheck(std::function<QString()> check) { check_ = std::move(check); }
    QString refusal() const;  // the answer shown, or ""

    QLineEdit* surfaceField() const { return surface_; }
    QLineEdit* readingField() const { return reading_; }
    QPushButton* acceptButton() const { return accept_; }
    QPushButton* cancelButton() const { return cancel_; }

private:
    void confirm();

    QLineEdit* surface_;
    QLineEdit* reading_;
    QLabel* refusal_;
    QPushButton* accept_;
    QPushButton* cancel_;
    std::function<QString()> check_;
};
