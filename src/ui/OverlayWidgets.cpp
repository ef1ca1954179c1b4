#include "ui/OverlayWidgets.h"

#include "ui/Brand.h"
#include "ui/OverlayLiveText.h"

#include <QEnterEvent>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>

#include <cmath>

namespace OverlayWidgets {

namespace {

constexpr qreal cornerRadius = 16;
constexpr qreal borderWidth = 2.5;

}  // namespace

// ---- Panel ----

Panel::Panel()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus
                           | Qt::X11BypassWindowManagerHint)
{
    // Unmanaged by the window manager: it never takes the focus, stays with
    // every desktop and lies above the managed windows.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setFocusPolicy(Qt::NoFocus);
    setObjectName(QStringLiteral("overlayPanel"));
    setWindowTitle(QStringLiteral("Sayri"));
    create();
}

void Panel::setClickThrough(bool on)
{
    clickThrough_ = on;
    setAttribute(Qt::WA_TransparentForMouseEvents, on);
    if (on)
        dragging_ = false;
    applyInputRegion();
}

void Panel::applyInputRegion()
{
    QWindow* window = windowHandle();
    if (!window)
        return;
    // The X11 platform sets the input region to the window's size at the
    // moment the window stops being click-through, and leaves it there when
    // the window grows later: set it afresh for the current size.
    if (!clickThrough_)
        window->setFlag(Qt::WindowTransparentForInput, true);
    window->setFlag(Qt::WindowTransparentForInput, clickThrough_);
}

void Panel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Outside the rounded card: the window's shape cuts it off, or a
    // translucent window shows what lies below.
    painter.fillRect(rect(), testAttribute(Qt::WA_TranslucentBackground) ? Qt::transparent : Qt::white);
    const QRectF card = QRectF(rect()).adjusted(borderWidth / 2, borderWidth / 2, -borderWidth / 2, -borderWidth / 2);
    painter.setBrush(Brand::panel);
    painter.setPen(QPen(Brand::withAlpha(Brand::orange, 0.55), borderWidth));
    painter.drawRoundedRect(card, cornerRadius - borderWidth / 2, cornerRadius - borderWidth / 2);
}

void Panel::resizeEvent(QResizeEvent*)
{
    // Rounded corners without depending on a compositing manager: the window
    // itself takes the card's shape.
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
    if (!clickThrough_)
        applyInputRegion();
}

void Panel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    dragging_ = true;
    pressGlobal_ = event->globalPosition().toPoint();
    pressFrame_ = pos();
    event->accept();
}

void Panel::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_ || !(event->buttons() & Qt::LeftButton))
        return;
    const QPoint target = pressFrame_ + (event->globalPosition().toPoint() - pressGlobal_);
    if (target == pos())
        return;
    move(target);
    if (onDragged)
        onDragged();
}

void Panel::mouseReleaseEvent(QMouseEvent*)
{
    dragging_ = false;
}

void Panel::mouseDoubleClickEvent(QMouseEvent* event)
{
    dragging_ = false;
    if (onDoubleClicked)
        onDoubleClicked(event->position().toPoint());
}

// ---- TextLine ----

TextLine::TextLine(QWidget* parent, const QFont& font, const QColor& colour, Qt::Alignment alignment)
    : QWidget(parent), colour_(colour), alignment_(alignment)
{
    setFont(font);
    setFocusPolicy(Qt::NoFocus);
}

void TextLine::setText(const QString& text)
{
    if (text == text_)
        return;
    text_ = text;
    update();
}

QSizeF TextLine::textSize() const
{
    const QFontMetricsF metrics(font());
    qreal width = 0;
    const QStringList lines = text_.split(u'\n');
    for (const QString& line : lines)
        width = qMax(width, metrics.horizontalAdvance(line));
    return {width, lines.size() * metrics.lineSpacing()};
}

void TextLine::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(colour_);
    const QFontMetricsF metrics(font());
    const QStringList lines = text_.split(u'\n');
    const qreal lineHeight = metrics.lineSpacing();
    qreal y = (height() - lines.size() * lineHeight) / 2;
    for (const QString& line : lines) {
        const QString shown = metrics.elidedText(line, Qt::ElideRight, width());
        painter.drawText(QRectF(0, y, width(), lineHeight), int(alignment_ | Qt::AlignVCenter), shown);
        y += lineHeight;
    }
}

void TextLine::mousePressEvent(QMouseEvent* event)
{
    if (onClick && event->button() == Qt::LeftButton)
        event->accept();
    else
        event->ignore();
}

void TextLine::mouseReleaseEvent(QMouseEvent* event)
{
    if (onClick && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        event->accept();
        onClick();
    } else {
        event->ignore();
    }
}

// ---- LiveText ----

LiveText::LiveText(QWidget* parent, const QFont& font, const QColor& colour) : QWidget(parent), colour_(colour)
{
    setFont(font);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout_.setTextOption(option);
    layout_.setFont(font);
}

void LiveText::setText(const QString& text)
{
    if (text == text_)
        return;
    text_ = text;
    layout_.setText(LiveTextTrimmer::forLayout(text));
    layout_.beginLayout();
    qreal y = 0;
    for (QTextLine line = layout_.createLine(); line.isValid(); line = layout_.createLine()) {
        line.setLineWidth(width());
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout_.endLayout();
    update();
}

void LiveText::paintEvent(QPaintEvent*)
{
    if (text_.isEmpty())
        return;
    QPainter painter(this);
    painter.setPen(colour_);
    layout_.draw(&painter, QPointF(0, 0));
}

// ---- LevelDot ----

LevelDot::LevelDot(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("dot"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // It paints its own (white) background, so a new frame repaints nothing
    // beneath it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    const int side = int(std::ceil(diameter * maxScale)) + 1;
    resize(side, side);
    clock_.start();
}

void LevelDot::setDotFrame(const QRect& frame)
{
    const QPointF centre = QRectF(frame).center();
    move(int(std::lround(centre.x() - width() / 2.0)), int(std::lround(centre.y() - height() / 2.0)));
}

void LevelDot::scaleTo(qreal scale)
{
    if (scale == to_)
        return;  // already on its way there
    from_ = current_;
    to_ = scale;
    startMs_ = clock_.elapsed();
}

bool LevelDot::advance()
{
    const qreal t = qreal(clock_.elapsed() - startMs_) / transitionMs;
    if (t >= 1.0 || from_ == to_) {
        setCurrent(to_);
        return false;
    }
    // Ease in and out, as an implicit animation does.
    const qreal eased = t < 0.5 ? 2 * t * t : 1 - std::pow(-2 * t + 2, 2) / 2;
    setCurrent(from_ + (to_ - from_) * eased);
    return true;
}

void LevelDot::reset()
{
    from_ = to_ = 1.0;
    setCurrent(1.0);
}

void LevelDot::setCurrent(qreal scale)
{
    current_ = scale;
    // Repaint only when the drawn circle changes by a visible amount.
    const int step = int(std::lround(scale * diameter));
    if (step == paintedStep_)
        return;
    paintedStep_ = step;
    update();
}

void LevelDot::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const qreal d = diameter * current_;
    const QRectF circle(width() / 2.0 - d / 2, height() / 2.0 - d / 2, d, d);
    Brand::paintGradient(painter, circle, d / 2, true);
}

// ---- BarButton ----

BarButton::BarButton(QWidget* parent, Kind kind) : QAbstractButton(parent), kind_(kind)
{
    setFocusPolicy(Qt::NoFocus);
    setObjectName(kind == cancel ? QStringLiteral("cancel") : QStringLiteral("stop"));
}

void BarButton::enterEvent(QEnterEvent* event)
{
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void BarButton::leaveEvent(QEvent* event)
{
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void BarButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect());
    const qreal radius = r.height() / 2;
    const QPointF c = r.center();

    if (kind_ == cancel) {
        const qreal alpha = isDown() ? 0.2 : hovered_ ? 0.15 : 0.1;
        painter.setPen(Qt::NoPen);
        painter.setBrush(Brand::withAlpha(Brand::ink, alpha));
        painter.drawRoundedRect(r, radius, radius);
        // The cross, about as large as a 10-point bold "×".
        QPen pen(Brand::withAlpha(Brand::ink, 0.65), 2.0, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(pen);
        const qreal h = 3.75;
        painter.drawLine(QPointF(c.x() - h, c.y() - h), QPointF(c.x() + h, c.y() + h));
        painter.drawLine(QPointF(c.x() + h, c.y() - h), QPointF(c.x() - h, c.y() + h));
        return;
    }

    Brand::paintGradient(painter, r, radius, true);
    if (isDown() || hovered_) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(isDown() ? QColor(0, 0, 0, 36) : QColor(255, 255, 255, 40));
        painter.drawRoundedRect(r, radius, radius);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    const qreal s = 8.5;
    painter.drawRoundedRect(QRectF(c.x() - s / 2, c.y() - s / 2, s, s), 1.8, 1.8);
}

}  // namespace OverlayWidgets
