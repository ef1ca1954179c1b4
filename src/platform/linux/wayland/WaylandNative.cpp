#include "platform/linux/wayland/WaylandNative.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
// A window's surface has no public interface in any Qt 6; the application's
// objects have one from Qt 6.5 and a screen's output from Qt 6.7. What is
// taken from the platform plugin's private interface ties the build to its Qt
// version (the package depends on that exact Qt ABI).
#include <qpa/qplatformnativeinterface.h>

namespace {

bool onWayland()
{
    return QGuiApplication::platformName() == QLatin1String("wayland");
}

QPlatformNativeInterface* native()
{
    return onWayland() ? QGuiApplication::platformNativeInterface() : nullptr;
}

#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
QNativeInterface::QWaylandApplication* application()
{
    auto* app = qGuiApp;
    return app && onWayland() ? app->nativeInterface<QNativeInterface::QWaylandApplication>() : nullptr;
}
#else
void* integrationResource(const char* name)
{
    QPlatformNativeInterface* n = native();
    return n ? n->nativeResourceForIntegration(name) : nullptr;
}
#endif

}  // namespace

namespace WaylandNative {

wl_display* display()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    auto* app = application();
    return app ? app->display() : nullptr;
#else
    return static_cast<wl_display*>(integrationResource("wl_display"));
#endif
}

wl_seat* seat()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    auto* app = application();
    return app ? app->seat() : nullptr;
#else
    return static_cast<wl_seat*>(integrationResource("wl_seat"));
#endif
}

bool seatHasKeyboard()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    auto* app = application();
    return app && app->keyboard() != nullptr;
#else
    return integrationResource("wl_keyboard") != nullptr;
#endif
}

wl_surface* surface(QWindow* window)
{
    QPlatformNativeInterface* n = native();
    return n && window && window->handle() ? static_cast<wl_surface*>(n->nativeResourceForWindow("surface", window))
                                           : nullptr;
}

wl_output* output(QScreen* screen)
{
    if (!onWayland() || !screen)
        return nullptr;
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    auto* waylandScreen = screen->nativeInterface<QNativeInterface::QWaylandScreen>();
    return waylandScreen ? waylandScreen->output() : nullptr;
#else
    return static_cast<wl_output*>(native()->nativeResourceForScreen("output", screen));
#endif
}

}  // namespace WaylandNative
