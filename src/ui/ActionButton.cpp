#include "ui/ActionButton.h"

#include "ui/Brand.h"

#include <QDesktopServices>

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

ActionButton* ActionButton::link(const QString& title, const QUrl& url, qreal size, QWidget* parent)
{
    auto* b = new ActionButton(
        title,
        [url] {
            if (url.isValid() && !url.isEmpty())
                QDesktopServices::openUrl(url);
        },
        parent);
    QFont f = Brand::font(size);
    f.setUnderline(true);
    b->setFont(f);
    b->setFlat(true);
    b->setFocusPolicy(Qt::TabFocus);
    b->setCursor(Qt::PointingHandCursor);
    b->setStyleSheet(QStringLiteral("QPushButton { border: none; outline: none; padding: 0; color: %1; background: transparent; }")
                         .arg(Brand::link.name()));
    b->resize(b->sizeHint());
    return b;
}
