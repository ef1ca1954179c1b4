#include "platform/linux/x11/WaylandSession.h"

#include <QByteArray>
#include <QtGlobal>

namespace WaylandSession {

bool detected()
{
    return qgetenv("XDG_SESSION_TYPE").trimmed().toLower() == "wayland" || !qgetenv("WAYLAND_DISPLAY").isEmpty();
}

}  // namespace WaylandSession
