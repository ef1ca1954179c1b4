#pragma once

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QRectF>
#include <QWidget>

class QPainter;

// Sayri's colours (sRGB), the orange gradient and the fonts sized the way
// every window's frames are measured (one point = one logical pixel).
namespace Brand {

inline const QColor orange{241, 142, 0};
inline const QColor orangeLight{255, 179, 31};
inline const QColor orangeDeep{232, 106, 0};
inline const QColor ink{31, 56, 100};
inline const QColor panel = QColor::fromRgbF(1, 1, 1, 0.97f);
inline const QColor canvas{247, 247, 248};
inline const QColor sidebar{241, 242, 244};
inline const QColor hairline{227, 230, 235};
// Link texts in the About and first-run windows.
inline const QColor link{224, 117, 0};
// Refusals and failures in dialogs and under the dictionary.
inline const QColor alert{215, 0, 21};

// `colour` with alpha `alpha` (0…1).
QColor withAlpha(const QColor& colour, qreal alpha);

// The system font at `size` logical pixels with the given weight.
QFont font(qreal size, QFont::Weight weight = QFont::Normal);
// The fixed-pitch system font at `size` logical pixels.
QFont monospaceFont(qreal size);

// The brand gradient over `rect`: orangeDeep, orange and orangeLight at 0,
// 0.55 and 1. Vertical runs from the bottom edge (deep) to the top edge
// (light); horizontal from the left edge (deep) to the right edge (light).
QLinearGradient gradient(const QRectF& rect, bool vertical);
// Fills `rect` with the gradient, its corners rounded by `cornerRadius`.
void paintGradient(QPainter& painter, const QRectF& rect, qreal cornerRadius, bool vertical);

// A child widget that paints the brand gradient over its whole area.
class GradientLayer : public QWidget {
    Q_OBJECT
public:
    GradientLayer(QWidget* parent, qreal cornerRadius, bool vertical);
    qreal cornerRadius() const { return radius_; }
    bool isVertical() const { return vertical_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal radius_;
    bool vertical_;
};

// A new gradient layer inside `parent` with the frame `rect`.
GradientLayer* gradientLayer(QWidget* parent, const QRect& rect, qreal cornerRadius, bool vertical);
// Paints `view` with the gradient: any gradient layer it already has is
// removed, a new one covering the view (and following its size) goes below
// every other child. Calling it again never stacks a second gradient.
void applyGradient(QWidget* view, qreal cornerRadius, bool vertical);

}  // namespace Brand
