#include "ui/ToggleSwitch.h"

#include "ui/Brand.h"

#include <QPainter>

ToggleSwitch::ToggleSwitch(QWidget* parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    // Tab and Space work it; a click does not take the focus (nor show the ring).
    setFocusPolicy(Qt::TabFocus);
    auto state = [this](bool on) { setAccessibleDescription(on ? QStringLiteral("オン") : QStringLiteral("オフ")); };
    state(false);
    connect(this, &QAbstractButton::toggled, this, state);
}

void ToggleSwitch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    // A track of 40 × 24 centred in the frame, the knob 20 across.
    const QRectF track(QRectF(rect()).center() - QPointF(20, 12), QSizeF(40, 24));
    painter.setBrush(isChecked() ? Brand::orange : Brand::withAlpha(Brand::ink, 0.18));
    painter.drawRoundedRect(track, 12, 12);
    const qreal knobX = isChecked() ? track.right() - 22 : track.left() + 2;
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(knobX, track.top() + 2, 20, 20));
}
