#pragma once

#include <QAbstractButton>

// An on/off switch: a rounded track, orange when on, with a white knob.
// Clicking flips it (a checkable button).
class ToggleSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit ToggleSwitch(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {52, 28}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};
