#include "platform/PlatformWords.h"

// A Linux keyboard has Alt, Ctrl and Super, and the machine is a パソコン.
// No desktop settings page grants a permission: the microphone needs none,
// and the global key source depends on the session type, not on a switch.
namespace PlatformWords {

QString optionKey()
{
    return QStringLiteral("Alt");
}
QString leftOptionKey()
{
    return QStringLiteral("左のAlt");
}
QString rightOptionKey()
{
    return QStringLiteral("右のAlt");
}
QString controlKey()
{
    return QStringLiteral("Ctrl");
}
QString commandKey()
{
    return QStringLiteral("Super");
}
QString rightCommandKey()
{
    return QStringLiteral("右のSuper");
}
// The Fn key of a laptop never reaches the X server as a key event.
std::optional<QString> functionKey()
{
    return std::nullopt;
}
QString pasteKeystroke()
{
    return QStringLiteral("Ctrl+V");
}
QString keys(PasteKeystroke keystroke)
{
    switch (keystroke) {
    case PasteKeystroke::controlShiftV:
        return QStringLiteral("Ctrl+Shift+V");
    case PasteKeystroke::shiftInsert:
        return QStringLiteral("Shift+Insert");
    case PasteKeystroke::editThenControlV:
        return QStringLiteral("F2 のあと Ctrl+V");
    case PasteKeystroke::controlV:
        break;
    }
    return pasteKeystroke();
}
QString computer()
{
    return QStringLiteral("パソコン");
}
QString systemSettings()
{
    return QStringLiteral("デスクトップの設定");
}

QStringList keySourceAdvice()
{
    return {QStringLiteral("いまのデスクトップ（Wayland "
                           "のセッションなど）では、録音キーを聞き取ることも、自動で貼り付けることもできません。いまの"
                           "ところ、どちらにも X11 のセッションが必要です。"),
            QStringLiteral("いったんログアウトし、ログイン画面でパスワードを入れる前に、セッションの選択（歯車のボタン"
                           "など）で「X11」や「Xorg」と書かれたものを選んでログインし直すと、使えるようになります。")};
}

QString keySourceHint()
{
    return QStringLiteral("%1×2 と自動貼り付けには、いまのところ X11 "
                          "のセッションが必要です（ログイン画面のセッションの選択で選べます）")
        .arg(optionKey());
}

QString keySourceFailure()
{
    return QStringLiteral("X11 のセッションでない可能性");
}

std::optional<QUrl> settingsPage(Permission)
{
    return std::nullopt;
}

}  // namespace PlatformWords
