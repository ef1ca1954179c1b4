#include "ui/Brand.h"

#include <QEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

namespace Brand {

namespace {

// Logical dots per inch that a point size is converted with.
qreal logicalDpi()
{
    if (auto* screen = QGuiApplication::primaryScreen())
        return screen->logicalDotsPerInchY();
    return 96.0;
}

QFont sized(QFont f, qreal size)
{
    f.setPointSizeF(size * 72.0 / logicalDpi());
    return f;
}

// Keeps a gradient layer the size of its parent.
class FollowParent : public QObject {
public:
    FollowParent(GradientLayer* layer) : QObject(layer), layer_(layer) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize && watched == layer_->parentWidget())
            layer_->setGeometry(layer_->parentWidget()->rect());
        return false;
    }

private:
    GradientLayer* layer_;
};

}  // namespace

QColor withAlpha(const QColor& colour, qreal alpha)
{
    QColor c = colour;
    c.setAlphaF(float(alpha));
    return c;
}

QFont font(qreal size, QFont::Weight weight)
{
    QFont f = sized(QGuiApplication::font(), size);
    f.setWeight(weight);
    return f;
}

QFont monospaceFont(qreal size)
{
    return sized(QFontDatabase::systemFont(QFontDatabase::FixedFont), size);
}

QLinearGradient gradient(const QRectF& rect, bool vertical)
{
    QLinearGradient g = vertical ? QLinearGradient(rect.center().x(), rect.bottom(), rect.center().x(), rect.top())
                                 : QLinearGradient(rect.left(), rect.center().y(), rect.right(), rect.center().y());
    g.setColorAt(0.0, orangeDeep);
    g.setColorAt(0.55, orange);
    g.setColorAt(1.0, orangeLight);
    return g;
}

void paintGradient(QPainter& painter, const QRectF& rect, qreal cornerRadius, bool vertical)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient(rect, vertical));
    if (cornerRadius > 0)
        painter.drawRoundedRect(rect, cornerRadius, cornerRadius);
    else
        painter.drawRect(rect);
    painter.restore();
}

GradientLayer::GradientLayer(QWidget* parent, qreal cornerRadius, bool vertical)
    : QWidget(parent), radius_(cornerRadius), vertical_(vertical)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void GradientLayer::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintGradient(painter, QRectF(rect()), radius_, vertical_);
}

GradientLayer* gradientLayer(QWidget* parent, const QRect& rect, qreal cornerRadius, bool vertical)
{
    auto* layer = new GradientLayer(parent, cornerRadius, vertical);
    layer->setGeometry(rect);
    return layer;
}

void applyGradient(QWidget* view, qreal cornerRadius, bool vertical)
{
    if (!view)
        return;
    for (auto* old : view->findChildren<GradientLayer*>(Qt::FindDirectChildrenOnly))
        delete old;
    auto* layer = gradientLayer(view, view->rect(), cornerRadius, vertical);
    view->installEventFilter(new FollowParent(layer));
    layer->lower();
    layer->show();
    // The view itself draws no background of its own under the gradient.
    view->setAutoFillBackground(false);
}

}  // namespace Brand
