#include "platform/PlatformWords.h"

// A Linux keyboard has Alt, Ctrl and Super, and the machine is a パソコン.
// No desktop settings page grants a permission: the microphone needs none,
// and the global key source depends on the session type, not on a switch.
namespace PlatformWords {

QString optionKey() { return QStringLiteral("Alt"); }
QString leftOptionKey() { return QStringLiteral("左のAlt"); }
QString rightOptionKey() { return QStringLiteral("右のAlt"); }
QString controlKey() { return QStringLiteral("Ctrl"); }
QString commandKey() { return QStringLiteral("Super"); }
QString rightCommandKey() { return QStringLiteral("右のSuper"); }
QString pasteKeystroke() { return QStringLiteral("Ctrl+V"); }
QString computer() { return QStringLiteral("パソコン"); }
QString systemSettings() { return QStringLiteral("デスクトップの設定"); }

std::optional<QUrl> settingsPage(Permission)
{
    return std::nullopt;
}

}  // namespace PlatformWords
