#pragma once

#include <QColor>
#include <QWidget>

// A white panel with rounded corners and a one-point hairline border, painted
// by itself (no style sheet, so the widgets inside keep the plain style).
class RoundedPanel : public QWidget {
    Q_OBJECT
public:
    RoundedPanel(QWidget* parent, qreal radius);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal radius_;
};
