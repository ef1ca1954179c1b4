#include "ui/ActionButton.h"

ActionButton::ActionButton(const QString& title, std::function<void()> handler, QWidget* parent)
    : QPushButton(title, parent), handler(std::move(handler))
{
    connect(this, &QPushButton::clicked, this, &ActionButton::fire);
}

void ActionButton::fire()
{
    if (handler)
        handler();
}
