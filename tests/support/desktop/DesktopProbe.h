#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>

#include <optional>

// Looks at the running X desktop with the session's own tools (xwininfo).
namespace DesktopProbe {

// Titles of the mapped windows with the given WM_CLASS class name.
QStringList windowTitles(const QString& wmClass);
// The screen point at the middle of that class's icon in the tray host
// (trayer), when it sits there.
std::optional<QPoint> trayIconCentre(const QString& wmClass);

}  // namespace DesktopProbe
