#include "ui/SettingsDrawing.h"

#include "support/Graphemes.h"
#include "ui/Brand.h"
#include "ui/RoundedPanel.h"

#include <QFontMetricsF>
#include <QHash>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTextLayout>

#include <cmath>

namespace SettingsDrawing {

namespace {

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
    // Japanese glyphs come from a fallback font with lines taller than Latin ones.
    return metrics.boundingRect(box, Qt::AlignLeft, QStringLiteral("Aあ\nAあ")).height()
           - metrics.boundingRect(box, Qt::AlignLeft, QStringLiteral("Aあ")).height();
}

int measuredHeight(const QString& text, int width, const QFont& font)
{
    const qreal cap = 99 * lineHeight(font);
    const QRectF bounds =
        QFontMetricsF(font).boundingRect(QRectF(0, 0, width, cap * 2), Qt::TextWordWrap | Qt::AlignLeft, text);
    return int(std::min(bounds.height(), cap));
}

namespace {

struct Layout {
    qsizetype end = 0;  // code units the lines hold
    int lines = 0;      // lines laid out, at most the number asked
    qreal height = 0;   // of those lines, each starting on a whole point as text drawing places them
    bool reachedEnd = false;
};

// The first `lines` lines of `text`.
Layout layOut(const QString& text, int lines, int width, const QFont& font)
{
    // Laid out as the measuring does: line breaks end lines, words wrap.
    QString laidOut = text;
    laidOut.replace(u'\n', QChar::LineSeparator);
    QTextLayout layout(laidOut, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    Layout result;
    for (; result.lines < lines; ++result.lines) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        result.end = line.textStart() + line.textLength();
        const qreal top = std::ceil(result.height);
        result.height = top + line.ascent() + line.descent() + (result.lines > 0 ? line.leading() : 0);
    }
    layout.endLayout();
    result.reachedEnd = result.end >= text.size();
    return result;
}

// `layOut` of a start of `text` long enough for those lines: a long text is
// laid out from a start twice as long each time, until its lines end well
// inside that start (a break depends on what follows only nearby). Shaping
// all of a long text would cost more than the rest.
Layout layOutStart(const QString& text, int lines, int width, const QFont& font)
{
    for (qsizetype length = 1024;; length *= 2) {
        const QString part = text.left(length);
        const Layout layout = layOut(part, lines, width, font);
        if (part.size() == text.size() || (!layout.reachedEnd && layout.end + 16 < part.size()))
            return layout;
    }
}

}  // namespace

QString firstLines(const QString& text, int lines, int width, const QFont& font)
{
    return text.left(layOutStart(text, lines, width, font).end);
}

int heightUpTo(const QString& text, int maxLines, int width, const QFont& font)
{
    const Layout layout = layOutStart(text, maxLines + 1, width, font);
    if (layout.lines > maxLines)
        return int(maxLines * lineHeight(font));
    return int(layout.height);
}

QString trimForDisplay(const QString& text, int maxLines, int width, const QFont& font)
{
    const int limit = int(lineHeight(font) * maxLines);
    // Only the start that one more line holds can matter: a long text is
    // never laid out whole.
    const QString head = firstLines(text, maxLines + 1, width, font);
    if (head.size() == text.size() && measuredHeight(text, width, font) <= limit)
        return text;
    // The longest start that fits, found by halving: a longer start never
    // takes fewer lines than a shorter one.
    QList<qsizetype> ends{0};  // code-unit offset after each character
    for (const QString& c : Graphemes::split(head))
        ends << ends.last() + c.size();
    auto start = [&](int n) { return text.left(ends.at(n)); };
    int fits = 0, tooLong = int(ends.size()) - 1;
    if (head.size() < text.size())
        ++tooLong;  // the whole head may fit once "…" ends it
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
    auto* l = new QLabel(parent);
    l->setTextFormat(Qt::PlainText);  // texts may be the user's own: never markup
    l->setText(text);
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
    auto* c = new RoundedPanel(parent, 12);
    c->setObjectName(QStringLiteral("card"));
    c->setGeometry(frame);
    return c;
}

QPushButton* gradientButton(QWidget* parent, const QString& title, const QRect& frame)
{
    auto* b = new QPushButton(title, parent);
    b->setFont(Brand::font(12, QFont::DemiBold));
    b->setFocusPolicy(Qt::TabFocus);
    b->setAccessibleName(title);
    b->setCursor(Qt::PointingHandCursor);
    b->setStyleSheet(QStringLiteral("QPushButton { border: none; outline: none; border-radius: 8px; color: white; "
                                    "background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 %1, stop:0.55 %2, "
                                    "stop:1 %3); } QPushButton:pressed { color: rgba(255,255,255,0.7); }")
                         .arg(Brand::orangeDeep.name(), Brand::orange.name(), Brand::orangeLight.name()));
    b->setGeometry(frame);
    return b;
}

}  // namespace SettingsDrawing
