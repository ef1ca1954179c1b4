#include "ui/RoundedPanel.h"

#include "ui/Brand.h"

#include <QPainter>

RoundedPanel::RoundedPanel(QWidget* parent, qreal radius) : QWidget(parent), radius_(radius) {}

void RoundedPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Brand::hairline, 1));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius_, radius_);
}
