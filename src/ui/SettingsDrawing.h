#pragma once

#include "ui/Icons.h"

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QRect>
#include <QString>

#include <optional>

class QLabel;
class QPushButton;
class QWidget;

// Measuring and drawing for the settings window's pages and sidebar.
namespace SettingsDrawing {

// A frame measured from the bottom-left corner of a parent `parentHeight`
// high (x, y upwards, width, height), as a Qt frame from the top-left corner.
QRect fromBottom(int x, int y, int w, int h, int parentHeight);

// max(min, padding + the wider of `text` and `widest`, rounded up) in `font`.
int fitWidth(const QString& text, const QFont& font, int min, int padding,
             const std::optional<QString>& widest = std::nullopt);
// One line of `font` in a laid-out text: ascent + descent + leading.
qreal lineHeight(const QFont& font);
// The height `text` takes wrapped at `width`, truncated to whole points and
// never more than 99 lines.
int measuredHeight(const QString& text, int width, const QFont& font);
// The start of `text` that its first `lines` lines hold at `width`.
QString firstLines(const QString& text, int lines, int width, const QFont& font);
// min(measuredHeight(text), the height of `maxLines` lines), measuring no
// more of the text than those lines.
int heightUpTo(const QString& text, int maxLines, int width, const QFont& font);
// `text` unchanged when it takes at most `maxLines` lines at `width`;
// otherwise its longest start (whole characters) that fits with "…" after
// it, followed by "…".
QString trimForDisplay(const QString& text, int maxLines, int width, const QFont& font);

// `art` painted `tint` in its own shape, its alpha scaled by `opacity`, with
// `leftPad` transparent points on its left. Drawn at twice the point size.
QPixmap tintedBitmap(const QPixmap& art, const QColor& tint, qreal opacity, int leftPad);
// A sidebar icon at 17 points in ink (65 % when not selected), with 10 points
// of padding on its left; cached for the whole run. None when the artwork is
// missing (nothing cached then).
std::optional<QPixmap> sidebarIcon(Icons::Name name, bool selected);

// A label with that plain text, font and colour at `frame` inside `parent`.
QLabel* label(QWidget* parent, const QString& text, const QFont& font, const QColor& colour, const QRect& frame,
              Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);
// A white card with rounded corners and a hairline border.
QWidget* card(QWidget* parent, const QRect& frame);
// A push button with the brand gradient and a white title.
QPushButton* gradientButton(QWidget* parent, const QString& title, const QRect& frame);

}  // namespace SettingsDrawing
