#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QPoint>
#include <QTextLayout>
#include <QWidget>

#include <functional>

class QVariantAnimation;

// The pieces of the recording bar. None of them takes the keyboard focus.
namespace OverlayWidgets {

// The floating card: a frameless window above ordinary windows on every
// desktop, never activated. It paints the rounded white card with its orange
// border, and moves with the mouse when dragged by its background.
class Panel : public QWidget {
    Q_OBJECT
public:
    Panel();
    // Called after each move made by a drag, with the new frame already set.
    std::function<void()> onDragged;
    // Called for a double-click on the card itself (not on a button), with
    // the position in card coordinates.
    std::function<void(QPoint)> onDoubleClicked;
    // Whether clicks pass through to the windows below.
    void setClickThrough(bool on);
    bool isClickThrough() const { return clickThrough_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void applyInputRegion();
    bool dragging_ = false;
    bool clickThrough_ = false;
    QPoint pressGlobal_;
    QPoint pressFrame_;
};

// One or more lines of text, each cut at the tail with "…" when too wide.
class TextLine : public QWidget {
    Q_OBJECT
public:
    TextLine(QWidget* parent, const QFont& font, const QColor& colour, Qt::Alignment alignment);
    void setText(const QString& text);
    QString text() const { return text_; }
    // Width and height the whole text needs in this font.
    QSizeF textSize() const;
    // Called by a click on the line; clicks pass to the card when unset.
    std::function<void()> onClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString text_;
    QColor colour_;
    Qt::Alignment alignment_;
};

// The grey live text, wrapped exactly as the trimmer measures it.
class LiveText : public QWidget {
    Q_OBJECT
public:
    LiveText(QWidget* parent, const QFont& font, const QColor& colour);
    void setText(const QString& text);
    QString text() const { return text_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QColor colour_;
    QTextLayout layout_;
};

// The pulsing level dot: a gradient circle scaled about its centre. The
// widget is larger than the dot so that the largest dot fits.
class LevelDot : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal diameter = 14;
    static constexpr qreal maxScale = 2.2;
    static constexpr int animationMs = 90;

    LevelDot(QWidget* parent);
    // Places the dot with its unscaled 14 × 14 frame at `frame`.
    void setDotFrame(const QRect& frame);
    // Animates to `scale` in 0.09 s.
    void scaleTo(qreal scale);
    // Back to 1 at once.
    void reset();
    qreal targetScale() const { return target_; }
    qreal currentScale() const { return current_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setCurrent(qreal scale);
    QVariantAnimation* animation_;
    qreal current_ = 1.0;
    qreal target_ = 1.0;
    int paintedStep_ = -1;
};

// The round cancel and stop buttons.
class BarButton : public QAbstractButton {
    Q_OBJECT
public:
    enum Kind { cancel, stop };
    BarButton(QWidget* parent, Kind kind);
    Kind kind() const { return kind_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    Kind kind_;
    bool hovered_ = false;
};

}  // namespace OverlayWidgets
