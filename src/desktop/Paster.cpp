#include "desktop/Paster.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTimer>

Paster::Paster(std::unique_ptr<FrontmostApp> frontmost, std::unique_ptr<KeySynthesizer> keys)
    : frontmost_(std::move(frontmost)), keys_(std::move(keys))
{
}

void Paster::paste(const QString& text)
{
    // setText replaces everything that was on the clipboard.
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
    QTimer::singleShot(pauseMs, Qt::PreciseTimer, &guard_, [this] { sendKeystroke(); });
}

void Paster::sendKeystroke()
{
    bool terminal = false;
    if (const auto app = frontmost_->current())
        terminal = isTerminal(app->windowClass, app->windowInstance);
    // Nothing tells whether the window took the paste; the text stays on the
    // clipboard either way.
    keys_->sendPasteKeystroke(terminal);
}

bool Paster::isTerminal(const QString& windowClass, const QString& windowInstance)
{
    static const QStringList terminals = {
        QStringLiteral("xterm"), QStringLiteral("uxterm"), QStringLiteral("urxvt"), QStringLiteral("rxvt"),
        QStringLiteral("gnome-terminal"), QStringLiteral("gnome-terminal-server"), QStringLiteral("konsole"),
        QStringLiteral("xfce4-terminal"), QStringLiteral("alacritty"), QStringLiteral("kitty"),
        QStringLiteral("foot"), QStringLiteral("footclient"), QStringLiteral("tilix"),
        QStringLiteral("wezterm"), QStringLiteral("org.wezfurlong.wezterm"), QStringLiteral("terminator"),
        QStringLiteral("lxterminal"),
    };
    return terminals.contains(windowClass, Qt::CaseInsensitive)
        || terminals.contains(windowInstance, Qt::CaseInsensitive);
}
