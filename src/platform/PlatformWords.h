#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// The words a user-visible text or a log line uses for the keys, the computer
// and the desktop's settings, as this platform calls them. Texts take them
// where they are composed, e.g.
//   QStringLiteral("声はこの%1の中だけで…").arg(PlatformWords::computer())
// Identifiers stored in files never go through here.
namespace PlatformWords {

QString optionKey();        // the modifier Sayri listens to by default
QString leftOptionKey();
QString rightOptionKey();
QString controlKey();
QString commandKey();
QString rightCommandKey();
QString pasteKeystroke();   // the key combination that pastes
QString computer();         // the user's machine, as in "このパソコン"
QString systemSettings();   // the desktop's settings application

// The permissions a step of the first-run setup can be about.
enum class Permission { microphone, speechRecognition, accessibility };

// The page of the desktop's settings where the user grants `permission`, or
// none when the desktop has no such page (the text then says what to do).
std::optional<QUrl> settingsPage(Permission permission);

}  // namespace PlatformWords
