#include "platform/linux/WaylandNative.h"

#include <QGuiApplication>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

namespace {

QPlatformNativeInterface* native()
{
    if (QGuiApplication::platformName() != QLatin1String("wayland"))
        return nullptr;
    return QGuiApplication::platformNativeInterface();
}

void* integrationResource(const char* name)
{
    QPlatformNativeInterface* n = native();
    return n ? n->nativeResourceForIntegration(name) : nullptr;
}

}  // namespace

namespace WaylandNative {

wl_display* display()
{
    return static_cast<wl_display*>(integrationResource("wl_display"));
}

wl_seat* seat()
{
    return static_cast<wl_seat*>(integrationResource("wl_seat"));
}

bool seatHasKeyboard()
{
    return integrationResource("wl_keyboard") != nullptr;
}

wl_surface* surface(QWindow* window)
{
    QPlatformNativeInterface* n = native();
    return n && window && window->handle() ? static_cast<wl_surface*>(n->nativeResourceForWindow("surface", window))
                                           : nullptr;
}

wl_output* output(QScreen* screen)
{
    QPlatformNativeInterface* n = native();
    return n && screen ? static_cast<wl_output*>(n->nativeResourceForScreen("output", screen)) : nullptr;
}

}  // namespace WaylandNative
