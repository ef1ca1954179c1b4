#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QElapsedTimer>
#include <QFont>
#include <QPoint>
#include <QTextLayout>
#include <QWidget>

#include <functional>

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
// widget is larger than the dot so that the largest dot fits. Its moves are
// driven from outside (`advance`), at the rate the bar redraws it.
class LevelDot : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal diameter = 14;
    static constexpr qreal maxScale = 2.2;
    static constexpr int transitionMs = 90;

    LevelDot(QWidget* parent);
    // Places the dot with its unscaled 14 × 14 frame at `frame`.
    void setDotFrame(const QRect& frame);
    // Starts a 0.09 s move from the scale shown now to `scale`.
    void scaleTo(qreal scale);
    // Shows the scale of this moment of the move; false once it has arrived.
    bool advance();
    // Back to 1 at once.
    void reset();
    qreal targetScale() const { return to_; }
    qreal currentScale() const { return current_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setCurrent(qreal scale);
    QElapsedTimer clock_;
    qint64 startMs_ = 0;
    qreal from_ = 1.0;
    qreal to_ = 1.0;
    qreal current_ = 1.0;
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
