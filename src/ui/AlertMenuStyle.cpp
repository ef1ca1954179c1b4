#include "ui/AlertMenuStyle.h"

#include <QMenu>
#include <QStyleOptionMenuItem>

namespace {
const char* const alertProperty = "sayriAlert";
}  // namespace

const QColor AlertMenuStyle::red{255, 59, 48};

void AlertMenuStyle::markAlert(QAction* action)
{
    action->setProperty(alertProperty, true);
}

void AlertMenuStyle::applyTo(QMenu* menu)
{
    if (qobject_cast<AlertMenuStyle*>(menu->style()))
        return;
    auto* style = new AlertMenuStyle;
    style->setParent(menu);
    menu->setStyle(style);
}

void AlertMenuStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const
{
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    const auto* menu = qobject_cast<const QMenu*>(widget);
    if (element == CE_MenuItem && item && menu && !(item->state & State_Selected)) {
        const QAction* action = menu->actionAt(item->rect.center());
        if (action && action->property(alertProperty).toBool()) {
            QStyleOptionMenuItem alert(*item);
            for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
                alert.palette.setColor(role, red);
            QProxyStyle::drawControl(element, &alert, painter, widget);
            return;
        }
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}
