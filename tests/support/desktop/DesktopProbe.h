#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <optional>

// Looks at the running X desktop with the session's own tools (xwininfo,
// xdotool, pactl and the like).
namespace DesktopProbe {

// Runs a command given as words separated by spaces; its output, when it
// ends with status 0.
std::optional<QString> run(const QString& command);
// Titles of the mapped windows with the given WM_CLASS class name.
QStringList windowTitles(const QString& wmClass);
// Where that class's window of this size is on screen.
std::optional<QRect> windowOfSize(const QString& wmClass, QSize size);
// The screen point at the middle of that class's icon in the tray host
// (trayer), when it sits there.
std::optional<QPoint> trayIconCentre(const QString& wmClass);
// The desktop's accessibility switch, after setting it when `on` is given.
bool accessibilityEnabled(std::optional<bool> on = std::nullopt);

}  // namespace DesktopProbe
