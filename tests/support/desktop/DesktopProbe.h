#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>

#include <optional>

// Looks at the running X desktop with the session's own tools (xwininfo).
namespace DesktopProbe {

// Titles of the mapped windows with the given WM_CLASS class name.
QStringList windowTitles(const QString& wmClass);
// Whether a window of that class sits inside the tray host (trayer).
bool inTray(const QString& wmClass);
// The screen point at the middle of that class's icon in the tray host.
std::optional<QPoint> trayIconCentre(const QString& wmClass);

}  // namespace DesktopProbe
