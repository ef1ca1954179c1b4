#pragma once

#include "platform/KeySynthesizer.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// The words a user-visible text or a log line uses for the keys, the computer
// and the desktop's settings, as this platform calls them. Texts take them
// where they are composed, e.g.
//   QStringLiteral("声はこの%1の中だけで…").arg(PlatformWords::computer())
// Identifiers stored in files never go through here.
namespace PlatformWords {

QString optionKey();  // the modifier Sayri listens to by default
QString leftOptionKey();
QString rightOptionKey();
QString controlKey();
QString commandKey();
QString rightCommandKey();
// The globe key at the corner of the keyboard, where this platform's key
// source can see it; none where no key event names it.
std::optional<QString> functionKey();
QString pasteKeystroke();  // the key combination that pastes
// `keystroke` as the user presses it, e.g. "Ctrl+Shift+V".
QString keys(PasteKeystroke keystroke);
QString computer();        // the user's machine, as in "このパソコン"
QString systemSettings();  // the desktop's settings application

// When the global key source cannot be opened: what the trigger key and the
// automatic paste need, and how the user gets it, in full sentences ...
QStringList keySourceAdvice();
// ... and as one timed message.
QString keySourceHint();
// The likely cause, for the log line of a key source that failed to open.
QString keySourceFailure();

// The permissions a step of the first-run setup can be about.
enum class Permission { microphone, speechRecognition, accessibility };

// The page of the desktop's settings where the user grants `permission`, or
// none when the desktop has no such page (the text then says what to do).
std::optional<QUrl> settingsPage(Permission permission);

}  // namespace PlatformWords
