#pragma once

#include <QPushButton>
#include <QUrl>

#include <functional>

// A push button that calls a stored closure when clicked.
class ActionButton : public QPushButton {
    Q_OBJECT
public:
    ActionButton(const QString& title, std::function<void()> handler, QWidget* parent = nullptr);

    std::function<void()> handler;

    // Calls `handler`, if set.
    void fire();

    // A borderless link, reached by Tab but not taking the focus on a click: `size`-point underlined title in
    // the brand's link colour; a click opens `url` with the default handler.
    static ActionButton* link(const QString& title, const QUrl& url, qreal size, QWidget* parent = nullptr);
};
