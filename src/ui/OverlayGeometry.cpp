#include "ui/OverlayGeometry.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace OverlayGeometry {

namespace {

// The frames below were drawn with the origin at the bar's bottom-left
// corner; `flip` turns such a frame into one measured from the top.
QRect flip(int height, qreal x, qreal y, qreal w, qreal h)
{
    return QRectF(x, height - y - h, w, h).toAlignedRect();
}

}  // namespace

std::optional<QPointF> parseAnchor(const std::optional<QString>& anchor)
{
    if (!anchor)
        return std::nullopt;
    QList<double> numbers;
    for (const QString& piece : anchor->split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const double value = piece.toDouble(&ok);
        if (ok && std::isfinite(value))
            numbers << value;
    }
    if (numbers.size() != 2)
        return std::nullopt;
    return QPointF(numbers[0], numbers[1]);
}

QString anchorOf(const QRect& frame)
{
    const double midX = frame.x() + frame.width() / 2.0;
    const double bottom = frame.y() + frame.height();
    return QStringLiteral("%1,%2").arg(qint64(std::trunc(midX))).arg(qint64(std::trunc(bottom)));
}

std::optional<QRect> place(QSize size, const std::optional<QString>& anchor, const QList<ScreenArea>& screens,
                           const std::optional<ScreenArea>& mainScreen)
{
    const double w = size.width();
    const double h = size.height();
    QRect visible;
    double x0 = 0;
    double y0 = 0;  // top edge

    if (const auto point = parseAnchor(anchor)) {
        std::optional<ScreenArea> screen;
        for (const ScreenArea& s : screens) {
            if (QRectF(s.frame).contains(*point)) {
                screen = s;
                break;
            }
        }
        if (!screen)
            screen = mainScreen;
        if (!screen)
            return std::nullopt;
        visible = screen->visible;
        x0 = point->x() - w / 2;
        y0 = point->y() - h;
    } else {
        if (!mainScreen)
            return std::nullopt;
        visible = mainScreen->visible;
        x0 = visible.x() + visible.width() / 2.0 - w / 2;
        y0 = visible.y() + visible.height() - defaultLift - h;
    }

    const double minX = visible.x();
    const double maxX = visible.x() + visible.width();
    const double minY = visible.y();
    const double maxY = visible.y() + visible.height();
    x0 = std::max(x0, minX + screenMargin);
    x0 = std::min(x0, maxX - w - screenMargin);
    y0 = std::min(y0, maxY - h - screenMargin);
    y0 = std::max(y0, minY + screenMargin);
    return QRect(int(std::floor(x0)), int(std::floor(y0)), size.width(), size.height());
}

int messageWidth(QSizeF text)
{
    return std::min(int(std::ceil(text.width())) + 10 + 44, maxMessageWidth);
}

LabelWidths labelWidths(qreal targetNeeded, qreal micNeeded)
{
    const int mic = std::min(int(std::ceil(micNeeded)), 170);
    const int target = std::min(int(std::ceil(targetNeeded)), 256 - mic - 12);
    return {target, mic};
}

qreal levelScale(float level)
{
    if (!(level > 0))  // also NaN
        return 1.0;
    return 1.0 + 2.4 * std::min<qreal>(level, 0.5);
}

QRect liveFrame(int height)
{
    return flip(height, 22, 46, liveWidth, 60);
}
QRect dotFrame(int height)
{
    return flip(height, 22, 17, 14, 14);
}
QRect targetFrame(int height, int width)
{
    return flip(height, 58, 15, width, 18);
}
QRect micFrame(int height, int width)
{
    return flip(height, 314 - width, 16, width, 15);
}
QRect cancelFrame(int height)
{
    return flip(height, 322, 11, 26, 26);
}
QRect stopFrame(int height)
{
    return flip(height, 356, 11, 26, 26);
}
QRect updateFrame(int height)
{
    return flip(height, 22, height - 24, 356, 15);
}

}  // namespace OverlayGeometry
