#pragma once

#include <QPushButton>

#include <functional>

// A push button that calls a stored closure when clicked.
class ActionButton : public QPushButton {
    Q_OBJECT
public:
    ActionButton(const QString& title, std::function<void()> handler, QWidget* parent = nullptr);

    std::function<void()> handler;

    // Calls `handler`, if set.
    void fire();
};
