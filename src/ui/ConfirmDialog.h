#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;

// A small dialog that asks before doing something: a message, an
// explanation, what it is about, a confirming button and "やめる". It is
// application modal but never runs an event loop of its own: callers `open()`
// it and listen to `accepted` or `finished`. All its texts are plain text.
class ConfirmDialog : public QDialog {
    Q_OBJECT
public:
    ConfirmDialog(const QString& message, const QString& informative, const QString& acceptTitle,
                  QWidget* parent = nullptr);

    // Puts `content` between the explanation and the buttons.
    void addContent(QWidget* content);

    // Run when the confirming button is pressed; it may do the dialog's work.
    // A non-empty answer says why it was not done: it is shown above the
    // buttons and the dialog stays open with what was typed. "" closes it.
    void setCheck(std::function<QString()> check) { check_ = std::move(check); }
    QString refusal() const;  // the answer shown, or ""

    QPushButton* acceptButton() const { return accept_; }
    QPushButton* cancelButton() const { return cancel_; }

    // The width of the explanation and of what sits below it.
    static constexpr int textWidth = 300;

private:
    void confirm();

    class QVBoxLayout* content_;
    QLabel* refusal_;
    QPushButton* accept_;
    QPushButton* cancel_;
    std::function<QString()> check_;
};
