#include "ui/SettingsSymbols.h"

#include "ui/Icons.h"

#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace SettingsSymbols {

namespace {

// Each symbol is drawn in a 20 × 20 box with a 1.6-point pen.
using Drawing = std::function<void(QPainter&)>;

void keyboard(QPainter& p)
{
    p.drawRoundedRect(QRectF(1.5, 5, 17, 11), 2, 2);
    for (int row = 0; row < 2; ++row)
        for (int i = 0; i < 5; ++i)
            p.drawPoint(QPointF(4.5 + 2.75 * i, 8 + 2.6 * row));
    p.drawLine(QPointF(6.5, 13.4), QPointF(13.5, 13.4));
}

void mic(QPainter& p)
{
    p.drawRoundedRect(QRectF(7, 1.5, 6, 10.5), 3, 3);
    p.drawArc(QRectF(4, 4.5, 12, 11), 200 * 16, 140 * 16);
    p.drawLine(QPointF(10, 15.5), QPointF(10, 18.5));
    p.drawLine(QPointF(7, 18.5), QPointF(13, 18.5));
}

void power(QPainter& p)
{
    p.drawArc(QRectF(3, 3.5, 14, 14), 120 * 16, 300 * 16);
    p.drawLine(QPointF(10, 1.5), QPointF(10, 9.5));
}

void window(QPainter& p)
{
    p.drawRoundedRect(QRectF(1.5, 3, 17, 14), 2.5, 2.5);
    p.drawLine(QPointF(1.5, 7), QPointF(18.5, 7));
    for (int i = 0; i < 3; ++i)
        p.drawPoint(QPointF(4 + 2.2 * i, 5));
}

void bubble(QPainter& p)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(1.5, 2.5, 17, 12), 3, 3);
    p.drawPath(path);
    p.drawLine(QPointF(6, 14.5), QPointF(5, 18));
    p.drawLine(QPointF(5, 18), QPointF(9.5, 14.5));
    p.drawLine(QPointF(5, 7), QPointF(15, 7));
    p.drawLine(QPointF(5, 10.5), QPointF(12, 10.5));
}

void clipboard(QPainter& p)
{
    p.drawRoundedRect(QRectF(3.5, 3, 13, 16), 2, 2);
    p.drawRoundedRect(QRectF(7, 1.5, 6, 3.5), 1, 1);
    p.drawLine(QPointF(6.5, 9), QPointF(13.5, 9));
    p.drawLine(QPointF(6.5, 12.5), QPointF(13.5, 12.5));
}

std::optional<Icons::Name> artwork(const QString& name)
{
    if (name == QLatin1String("character.book.closed"))
        return Icons::Name::nav_dictionary;
    if (name == QLatin1String("lock.fill"))
        return Icons::Name::badge_local;
    return std::nullopt;
}

}  // namespace

std::optional<QPixmap> symbol(const QString& name, int size, const QColor& tint)
{
    if (const auto art = artwork(name)) {
        if (auto image = Icons::image(*art, size, true))
            return Icons::shown(*image, tint);
        return std::nullopt;
    }
    static const QHash<QString, Drawing> drawings{
        {QStringLiteral("keyboard"), keyboard},  {QStringLiteral("mic"), mic},
        {QStringLiteral("power"), power},        {QStringLiteral("macwindow"), window},
        {QStringLiteral("text.bubble"), bubble}, {QStringLiteral("doc.on.clipboard"), clipboard},
    };
    const auto drawing = drawings.constFind(name);
    if (drawing == drawings.constEnd())
        return std::nullopt;
    QPixmap pixmap(QSize(size, size) * 2);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 20.0, size / 20.0);
    p.setPen(QPen(tint, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    (*drawing)(p);
    return pixmap;
}

}  // namespace SettingsSymbols
