#pragma once

#include "ui/AboutView.h"

#include <QObject>
#include <QPointer>

#include <QWidget>

// The About window, one shared instance created on first use.
class AboutWindow : public QObject, public AboutView {
    Q_OBJECT
public:
    static AboutWindow& shared();
    void show() override;
    void bringToFront() override;
    QWidget* window() const { return window_; }

private:
    AboutWindow() = default;
    void buildIfNeeded();
    QPointer<QWidget> window_;
};
