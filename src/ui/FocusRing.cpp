#include "ui/FocusRing.h"

#include "ui/Brand.h"

#include <QApplication>
#include <QFocusEvent>
#include <QPainter>

void FocusRing::attach(QWidget* window)
{
    if (!window->findChild<FocusRing*>(QString(), Qt::FindDirectChildrenOnly))
        new FocusRing(window);
}

FocusRing::FocusRing(QWidget* window) : QWidget(window)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
    qApp->installEventFilter(this);
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget == this)
        return false;
    const QEvent::Type type = event->type();
    if (type == QEvent::FocusIn && widget->window() == parentWidget()) {
        // Once a key has moved the focus, the ring follows it (after a page
        // is drawn again too) until the mouse is used.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason)
            byKeys_ = true;
        else if (reason == Qt::MouseFocusReason)
            byKeys_ = false;
        target_ = widget;
    } else if (type == QEvent::MouseButtonPress && widget->window() == parentWidget()) {
        byKeys_ = false;
    } else if (widget != target_
               || (type != QEvent::FocusOut && type != QEvent::Hide && type != QEvent::Move && type != QEvent::Resize)) {
        return false;
    } else if (type == QEvent::FocusOut) {
        target_ = nullptr;
    }
    follow();
    return false;
}

void FocusRing::follow()
{
    if (!byKeys_ || !target_ || !target_->isVisible()) {
        hide();
        return;
    }
    setGeometry(QRect(target_->mapTo(parentWidget(), QPoint(0, 0)), target_->size()).adjusted(-3, -3, 3, 3));
    raise();
    show();
    update();
}

void FocusRing::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Brand::orange, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 8, 8);
}
