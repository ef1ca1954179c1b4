#pragma once

class QWidget;

// How the recording bar's window floats above the others without taking the
// keyboard focus. The bar sets its frame in screen coordinates as usual; the
// surface shows and hides it and keeps the desktop told where it is.
class BarSurface {
public:
    virtual ~BarSurface() = default;
    virtual void show(QWidget* bar) = 0;
    virtual void hide(QWidget* bar) = 0;
};
