#include "ui/DictionaryRowDelegate.h"

#include "ui/Brand.h"
#include "ui/DictionaryModel.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>

#include <cmath>
#include <utility>

namespace {

// A label's frame height: the font's ascender and descender, raised to the
// next whole pixel, plus 2; centred in the row.
QRect labelRect(const QRect& row, int x, int width, const QFont& font)
{
    const QFontMetricsF m(font);
    const int height = int(std::ceil(m.ascent() + m.descent())) + 2;
    return QRect(row.x() + x, row.y() + (row.height() - height) / 2, width, height);
}

void drawLabel(QPainter* p, const QRect& rect, const QFont& font, const QColor& colour, const QString& text,
               Qt::Alignment align = Qt::AlignLeft)
{
    p->setFont(font);
    p->setPen(colour);
    const QString shown = QFontMetrics(font).elidedText(text, Qt::ElideRight, rect.width());
    p->drawText(rect, int(align | Qt::AlignVCenter) | Qt::TextSingleLine, shown);
}

}  // namespace

DictionaryRowDelegate::DictionaryRowDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

QRect DictionaryRowDelegate::buttonRect(const QRect& row)
{
    return QRect(row.x() + row.width() - 62, row.y() + 10, 46, 24);
}

QSize DictionaryRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return QSize(option.rect.width(), rowHeight);
}

void DictionaryRowDelegate::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QRect r = option.rect;
    const int w = r.width();
    const bool active = index.data(DictionaryModel::ActiveRole).toBool();
    const QVariant reading = index.data(DictionaryModel::ReadingRole);
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    // The current row while the list has the keyboard focus (a click does not give it).
    if (option.state & QStyle::State_HasFocus)
        p->fillRect(r, Brand::withAlpha(Brand::orange, 0.12));

    const QFont handleFont = Brand::font(13);
    drawLabel(p, labelRect(r, 14, 16, handleFont), handleFont, Brand::withAlpha(Brand::ink, 0.2), QStringLiteral("⠿"));
    if (active) {
        p->setPen(Qt::NoPen);
        p->setBrush(Brand::orange);
        p->drawRoundedRect(QRectF(r.x() + 36, r.y() + 19, 6, 6), 3, 3);
    }
    const QFont surfaceFont = Brand::font(13, QFont::Medium);
    // In a narrow window the written form gives way to the status column and
    // the reading is left out rather than drawn under it.
    drawLabel(p, labelRect(r, 52, std::min(240, w - 230), surfaceFont), surfaceFont,
              active ? Brand::ink : Brand::withAlpha(Brand::ink, 0.35), index.data(Qt::DisplayRole).toString());
    if (!reading.isNull() && w - 478 >= 40) {
        const QFont readingFont = Brand::font(11);
        drawLabel(p, labelRect(r, 300, w - 478, readingFont), readingFont,
                  Brand::withAlpha(Brand::ink, active ? 0.4 : 0.25), QStringLiteral("よみ: ") + reading.toString());
    }
    const QFont statusFont = Brand::font(10, QFont::DemiBold);
    const QString status = DictionaryModel::statusWord(active, !reading.isNull());
    QColor statusColour = Brand::orangeDeep;
    if (!active) {
        statusColour = Brand::withAlpha(Brand::ink, reading.isNull() ? 0.22 : 0.45);
    }
    drawLabel(p, labelRect(r, w - 170, 96, statusFont), statusFont, statusColour, status, Qt::AlignRight);

    if (index.row() + 1 < index.model()->rowCount()) {
        p->setPen(QPen(Brand::withAlpha(Brand::hairline, 0.6), 0.5));
        const qreal y = r.y() + r.height() - 0.25;
        p->drawLine(QPointF(r.x() + 14, y), QPointF(r.x() + w - 16, y));
    }
    p->restore();
    if (!index.data(DictionaryModel::ReadOnlyRole).toBool())
        paintButton(p, option, index.row());
}

void DictionaryRowDelegate::paintButton(QPainter* p, const QStyleOptionViewItem& option, int row) const
{
    QStyleOptionButton button;
    button.rect = buttonRect(option.rect);
    button.text = QStringLiteral("削除");
    button.state = QStyle::State_Enabled;
    if (hovered_ == row)
        button.state |= QStyle::State_MouseOver;
    if (pressed_ == row)
        button.state |= QStyle::State_Sunken;
    button.palette = QApplication::palette("QPushButton");
    button.fontMetrics = QFontMetrics(Brand::font(10.5));
    p->save();
    p->setFont(Brand::font(10.5));
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_PushButton, &button, p, option.widget);
    p->restore();
}

bool DictionaryRowDelegate::editorEvent(QEvent* event, QAbstractItemModel*, const QStyleOptionViewItem& option,
                                        const QModelIndex& index)
{
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick)
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const bool onButton = mouse->button() == Qt::LeftButton && !index.data(DictionaryModel::ReadOnlyRole).toBool()
                          && buttonRect(option.rect).contains(mouse->position().toPoint());
    if (type == QEvent::MouseButtonRelease) {
        const int pressed = std::exchange(pressed_, -1);
        if (pressed < 0)
            return false;
        if (onButton && pressed == index.row())
            Q_EMIT deleteRequested(index.row());
        return true;
    }
    if (!onButton)
        return false;
    if (type == QEvent::MouseButtonPress)
        pressed_ = index.row();
    return true;
}
