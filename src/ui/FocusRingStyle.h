#pragma once

#include <QProxyStyle>

// The application's look (Fusion) with one change: in a window that has a
// FocusRing, Qt's own focus marks (the highlighted frame and the tinted focus
// rectangle of buttons, combo boxes and the like) are left out, so the orange
// ring is the only mark of the keyboard focus there, as on the brand's own
// buttons. Other windows (the dialogs) keep Qt's marks.
class FocusRingStyle : public QProxyStyle {
    Q_OBJECT
public:
    explicit FocusRingStyle(QStyle* base);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override;
};
