#pragma once

#include "platform/BarSurface.h"

#include <QObject>
#include <QPointer>

#include <memory>

// The recording bar as a layer surface (zwlr_layer_shell_v1) of the overlay
// layer: above every window, full-screen ones included, never given the
// keyboard, anchored to the bottom left corner of its screen at margins that
// follow the frame the bar sets (so a drag moves it). Its window has no shell
// role of Qt's (Qt::BypassWindowManagerHint with
// QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT set before the application starts);
// the surface is given this role when the window is made, and the window is
// shown only once the compositor has configured it. Hiding lets go of both,
// so each showing starts afresh. Tooltips are not shown on it: Qt would make
// them ordinary windows the compositor might focus. Main thread only.
class LayerShellBar : public QObject, public BarSurface {
public:
    LayerShellBar();
    ~LayerShellBar() override;

    void show(QWidget* bar) override;
    void hide(QWidget* bar) override;

    struct Layer;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();

    struct Shell;
    std::unique_ptr<Shell> shell_;
    std::unique_ptr<Layer> layer_;
    QPointer<QWidget> bar_;
};
