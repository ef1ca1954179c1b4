#pragma once

#include <QProxyStyle>

class QAction;
class QMenu;

// Draws the titles of a menu's alert items (the update notice) in red.
class AlertMenuStyle : public QProxyStyle {
    Q_OBJECT
public:
    static const QColor red;

    // Marks `action` as an alert item.
    static void markAlert(QAction* action);
    // Gives `menu` this style, once.
    static void applyTo(QMenu* menu);

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
};
