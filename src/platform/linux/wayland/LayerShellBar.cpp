#include "platform/linux/wayland/LayerShellBar.h"

#include "platform/linux/wayland/WaylandNative.h"
#include "store/Log.h"

#include "qwayland-wlr-layer-shell-unstable-v1.h"

#include <QtWaylandClient/QWaylandClientExtensionTemplate>

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <functional>

#include <wayland-client.h>

struct LayerShellBar::Shell : QWaylandClientExtensionTemplate<Shell>, QtWayland::zwlr_layer_shell_v1 {
    Shell() : QWaylandClientExtensionTemplate<Shell>(1) {}
};

struct LayerShellBar::Layer : QtWayland::zwlr_layer_surface_v1 {
    Layer(::zwlr_layer_surface_v1* layer, wl_surface* surface, QRect screen)
        : QtWayland::zwlr_layer_surface_v1(layer), surface(surface), screen(screen)
    {
    }
    ~Layer() override { destroy(); }

    wl_surface* surface;
    QRect screen;  // the geometry of the screen it is on
    bool configured = false;
    std::function<void()> onFirstConfigure;

protected:
    void zwlr_layer_surface_v1_configure(uint32_t serial, uint32_t, uint32_t) override
    {
        ack_configure(serial);
        if (!configured && onFirstConfigure) {
            configured = true;
            onFirstConfigure();
        }
    }
};

namespace {

constexpr uint32_t overlayLayer = QtWayland::zwlr_layer_shell_v1::layer_overlay;
constexpr uint32_t bottomLeft =
    QtWayland::zwlr_layer_surface_v1::anchor_bottom | QtWayland::zwlr_layer_surface_v1::anchor_left;

QScreen* screenOf(const QRect& frame)
{
    QScreen* screen = QGuiApplication::screenAt(frame.center());
    return screen ? screen : QGuiApplication::primaryScreen();
}

}  // namespace

LayerShellBar::LayerShellBar() : shell_(std::make_unique<Shell>()) {}

LayerShellBar::~LayerShellBar() = default;

void LayerShellBar::show(QWidget* bar)
{
    if (bar_ != bar) {
        bar_ = bar;
        bar->installEventFilter(this);
        for (QWidget* child : bar->findChildren<QWidget*>())
            child->installEventFilter(this);
        // Transparent outside the card's rounded corners.
        bar->setAttribute(Qt::WA_TranslucentBackground);
        if (bar->windowHandle() && !bar->isVisible())
            bar->windowHandle()->destroy();
    }
    if (layer_) {
        place();
        return;
    }
    if (!shell_->isActive()) {
        Log::write(QStringLiteral("録音バーを手前に出す仕組み（layer-shell）がまだ使えません"));
        return;
    }
    if (!bar->windowHandle())
        bar->winId();
    QWindow* window = bar->windowHandle();
    if (!window->handle())
        window->create();
    wl_surface* surface = WaylandNative::surface(window);
    QScreen* screen = screenOf(bar->geometry());
    if (!surface || !screen)
        return;
    layer_ = std::make_unique<Layer>(
        shell_->get_layer_surface(surface, WaylandNative::output(screen), overlayLayer, QStringLiteral("sayri")),
        surface, screen->geometry());
    layer_->set_keyboard_interactivity(0);
    layer_->set_anchor(bottomLeft);
    layer_->onFirstConfigure = [this] {
        if (bar_)
            bar_->show();
    };
    place();
}

void LayerShellBar::hide(QWidget* bar)
{
    layer_.reset();
    bar->hide();
    if (bar->windowHandle())
        bar->windowHandle()->destroy();
}

// The bar's frame, in the screen's coordinates, as the layer's size and its
// margins from the bottom left corner.
void LayerShellBar::place()
{
    if (!layer_ || !bar_)
        return;
    const QRect frame = bar_->geometry();
    layer_->set_size(uint32_t(frame.width()), uint32_t(frame.height()));
    layer_->set_margin(0, 0, layer_->screen.bottom() - frame.bottom(), frame.left() - layer_->screen.left());
    wl_surface_commit(layer_->surface);
    wl_display_flush(WaylandNative::display());
}

bool LayerShellBar::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip)
        return true;
    if (watched == bar_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        place();
    return false;
}
