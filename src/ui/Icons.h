#pragma once

#include <QIcon>
#include <QString>

// Sayri's own artwork, kept in resources/icons.
namespace Icons {

// The tray image of that name ("menubar_idle", "menubar_recording",
// "menubar_working"), or a null icon when there is none.
QIcon menuBar(const QString& name);
// An icon drawn from a symbol (emoji) when no image exists.
QIcon fromSymbol(const QString& symbol);

}  // namespace Icons
