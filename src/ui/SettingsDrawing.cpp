#include "ui/SettingsDrawing.h"

#include "support/Graphemes.h"
#include "ui/Brand.h"

#include <QFontMetricsF>
#include <QFrame>
#include <QHash>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include <cmath>

namespace SettingsDrawing {

namespace {

QString rgba(const QColor& c)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alphaF());
}

}  // namespace

QRect fromBottom(int x, int y, int w, int h, int parentHeight)
{
    return QRect(x, parentHeight - y - h, w, h);
}

int fitWidth(const QString& text, const QFont& font, int min, int padding, const std::optional<QString>& widest)
{
    const QFontMetricsF metrics(font);
    qreal width = metrics.horizontalAdvance(text);
    if (widest)
        width = std::max(width, metrics.horizontalAdvance(*widest));
    return std::max(min, padding + int(std::ceil(width)));
}

qreal lineHeight(const QFont& font)
{
    // What one more line adds in a laid-out text: ascent, descent and leading,
    // as the text layout rounds them.
    const QFontMetricsF metrics(font);
    const QRectF box(0, 0, 1000, 1000);
    return metrics.boundingRect(box, Qt::AlignLeft, QStringLiteral("A\nA")).height()
           - metrics.boundingRect(box, Qt::AlignLeft, QStringLiteral("A")).height();
}

int measuredHeight(const QString& text, int width, const QFont& font)
{
    const qreal cap = 99 * lineHeight(font);
    const QRectF bounds =
        QFontMetricsF(font).boundingRect(QRectF(0, 0, width, cap * 2), Qt::TextWordWrap | Qt::AlignLeft, text);
    return int(std::min(bounds.height(), cap));
}

QString trimForDisplay(const QString& text, int maxLines, int width, const QFont& font)
{
    const int limit = int(lineHeight(font) * maxLines);
    if (measuredHeight(text, width, font) <= limit)
        return text;
    // The longest start that fits, found by halving: a longer start never
    // takes fewer lines than a shorter one.
    QList<qsizetype> ends{0};  // code-unit offset after each character
    for (const QString& c : Graphemes::split(text))
        ends << ends.last() + c.size();
    auto start = [&](int n) { return text.left(ends.at(n)); };
    int fits = 0, tooLong = int(ends.size()) - 1;
    while (tooLong - fits > 1) {
        const int middle = (fits + tooLong) / 2;
        if (measuredHeight(start(middle) + QStringLiteral("…"), width, font) <= limit)
            fits = middle;
        else
            tooLong = middle;
    }
    return start(fits) + QStringLiteral("…");
}

QPixmap tintedBitmap(const QPixmap& art, const QColor& tint, qreal opacity, int leftPad)
{
    if (art.isNull())
        return {};
    const QSizeF points = art.deviceIndependentSize();
    const QSize pixels = (QSizeF(leftPad + points.width(), points.height()) * 2).toSize();
    if (pixels.isEmpty())
        return {};
    QImage canvas(pixels, QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(2);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF artRect(leftPad, 0, points.width(), points.height());
    painter.drawPixmap(artRect, art, QRectF(art.rect()));
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(artRect, tint);
    if (opacity < 1) {
        painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        painter.fillRect(artRect, QColor::fromRgbF(0, 0, 0, float(opacity)));
    }
    painter.end();
    return QPixmap::fromImage(canvas);
}

std::optional<QPixmap> sidebarIcon(Icons::Name name, bool selected)
{
    static QHash<QString, QPixmap> cache;
    const QString key = Icons::rawValue(name) + (selected ? QStringLiteral("-on") : QStringLiteral("-off"));
    if (auto hit = cache.constFind(key); hit != cache.constEnd())
        return *hit;
    const std::optional<Icons::Image> art = Icons::image(name, 17, true);
    if (!art)
        return std::nullopt;
    const QPixmap icon = tintedBitmap(art->pixmap, Brand::ink, selected ? 1.0 : 0.65, 10);
    cache.insert(key, icon);
    return icon;
}

QLabel* label(QWidget* parent, const QString& text, const QFont& font, const QColor& colour, const QRect& frame,
              Qt::Alignment alignment)
{
    auto* l = new QLabel(text, parent);
    l->setFont(font);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, colour);
    l->setPalette(p);
    l->setAlignment(alignment);
    l->setGeometry(frame);
    return l;
}

QWidget* card(QWidget* parent, const QRect& frame)
{
    auto* c = new QFrame(parent);
    c->setObjectName(QStringLiteral("card"));
    c->setStyleSheet(QStringLiteral("QFrame#card { background: white; border: 1px solid %1; border-radius: 12px; }")
                         .arg(rgba(Brand::hairline)));
    c->setGeometry(frame);
    return c;
}

QPushButton* gradientButton(QWidget* parent, const QString& title, const QRect& frame)
{
    auto* b = new QPushButton(title, parent);
    b->setFont(Brand::font(12, QFont::DemiBold));
    b->setFocusPolicy(Qt::NoFocus);
    b->setCursor(Qt::PointingHandCursor);
    b->setStyleSheet(QStringLiteral("QPushButton { border: none; border-radius: 8px; color: white; "
                                    "background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 %1, stop:0.55 %2, "
                                    "stop:1 %3); } QPushButton:pressed { color: rgba(255,255,255,0.7); }")
                         .arg(Brand::orangeDeep.name(), Brand::orange.name(), Brand::orangeLight.name()));
    b->setGeometry(frame);
    return b;
}

}  // namespace SettingsDrawing
