#pragma once

#include "ui/WordDialog.h"

// The small dialog that adds words to the personal dictionary: a message, an
// explanation, the written form and its optional reading. It is application
// modal but never runs an event loop of its own: callers show it and listen
// to `accepted` (the "追加して反映" button) or `finished`.
class AddWordDialog : public WordDialog {
    Q_OBJECT
public:
    explicit AddWordDialog(QWidget* parent = nullptr);

    QPushButton* addButton() const { return acceptButton(); }
};
