#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

#include <optional>

// The small line symbols of the settings cards and help cards, named as in
// the window's texts ("keyboard", "mic", "power", "macwindow", "text.bubble",
// "character.book.closed", "doc.on.clipboard", "lock.fill"): drawn by Sayri
// itself, so that they look the same on every desktop.
namespace SettingsSymbols {

// The symbol at `size` × `size` points in `tint`; none for an unknown name.
std::optional<QPixmap> symbol(const QString& name, int size, const QColor& tint);

}  // namespace SettingsSymbols
