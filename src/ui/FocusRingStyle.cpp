#include "ui/FocusRingStyle.h"

#include "ui/FocusRing.h"

#include <QStyleOption>
#include <QWidget>

namespace {

// The widget sits in a window whose focus the ring marks.
bool ringed(const QWidget* widget)
{
    return widget && widget->window()->findChild<FocusRing*>(QString(), Qt::FindDirectChildrenOnly);
}

// Draws `option` as if its widget had no focus, when it is of that kind.
template <class Option, class Draw> bool drawnWithoutFocus(const QStyleOption* option, Draw draw)
{
    const auto* typed = qstyleoption_cast<const Option*>(option);
    if (!typed)
        return false;
    Option plain(*typed);
    plain.state &= ~QStyle::State_HasFocus;
    draw(&plain);
    return true;
}

}  // namespace

FocusRingStyle::FocusRingStyle(QStyle* base) : QProxyStyle(base) {}

void FocusRingStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                   const QWidget* widget) const
{
    if (element == PE_FrameFocusRect && ringed(widget))
        return;
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void FocusRingStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const
{
    const auto draw = [&](const QStyleOption* o) { QProxyStyle::drawControl(element, o, painter, widget); };
    if (element == CE_PushButton && ringed(widget) && drawnWithoutFocus<QStyleOptionButton>(option, draw))
        return;
    draw(option);
}

void FocusRingStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                                        const QWidget* widget) const
{
    const auto draw = [&](const QStyleOption* o) {
        QProxyStyle::drawComplexControl(control, static_cast<const QStyleOptionComplex*>(o), painter, widget);
    };
    if (control == CC_ComboBox && ringed(widget) && drawnWithoutFocus<QStyleOptionComboBox>(option, draw))
        return;
    draw(option);
}
