#include "desktop/Paster.h"

#include "platform/QtClipboardOwner.h"

#include <QTimer>

#include <algorithm>

Paster::Paster(std::unique_ptr<FrontmostApp> frontmost, std::shared_ptr<KeySynthesizer> keys,
               std::unique_ptr<ClipboardOwner> clipboard)
    : frontmost_(std::move(frontmost)),
      keys_(std::move(keys)),
      clipboard_(clipboard ? std::move(clipboard) : std::make_unique<QtClipboardOwner>())
{
}

PasteOutcome Paster::paste(const QString& text)
{
    const PasteKeystroke keystroke = keystrokeFor(frontmost_->current(), text);
    // Shift+Insert pastes the primary selection in some windows: without one
    // of ours it would paste whatever the user last selected.
    if (!clipboard_->setText(text, keystroke == PasteKeystroke::shiftInsert))
        return {};
    if (!keys_->canSend(keystroke))
        return {false, keystroke};
    // Nothing tells whether the window took the paste; the text stays on the
    // clipboard either way.
    const int pause = std::max(pauseMs, keys_->finishComposition());
    QTimer::singleShot(pause, Qt::PreciseTimer, &guard_, [this, keystroke] { keys_->sendPasteKeystroke(keystroke); });
    return {true, {}};
}

PasteKeystroke Paster::keystrokeFor(const std::optional<FrontmostAppInfo>& app, const QString& text)
{
    if (!app)
        return PasteKeystroke::controlV;
    const auto named = [&app](const QStringList& names) {
        return names.contains(app->windowClass, Qt::CaseInsensitive)
               || names.contains(app->windowInstance, Qt::CaseInsensitive);
    };
    // Control+V means something else here, Shift+Insert pastes: xterm and
    // rxvt the primary selection only; GUI Emacs (where C-v scrolls) the
    // clipboard, gvim (where it starts a block selection) the primary
    // selection, in insert mode.
    static const QStringList selectionOnly = {
        QStringLiteral("xterm"), QStringLiteral("uxterm"), QStringLiteral("urxvt"), QStringLiteral("rxvt"),
        QStringLiteral("emacs"), QStringLiteral("gvim"),
    };
    if (named(selectionOnly))
        return PasteKeystroke::shiftInsert;
    // In a cell's editor F2 keeps it open and the text goes in at the cursor.
    if (named({QStringLiteral("libreoffice-calc")}) && text.contains(u'\n'))
        return PasteKeystroke::editThenControlV;
    if (app->categories.contains(QStringLiteral("TerminalEmulator")))
        return PasteKeystroke::controlShiftV;
    // Terminals often run without a desktop entry of their own (built from
    // source, or started from another terminal).
    static const QStringList terminals = {
        QStringLiteral("gnome-terminal"),
        QStringLiteral("gnome-terminal-server"),
        QStringLiteral("konsole"),
        QStringLiteral("xfce4-terminal"),
        QStringLiteral("alacritty"),
        QStringLiteral("kitty"),
        QStringLiteral("foot"),
        QStringLiteral("footclient"),
        QStringLiteral("tilix"),
        QStringLiteral("wezterm"),
        QStringLiteral("org.wezfurlong.wezterm"),
        QStringLiteral("terminator"),
        QStringLiteral("lxterminal"),
        QStringLiteral("st"),
        QStringLiteral("st-256color"),
        QStringLiteral("ghostty"),
        QStringLiteral("com.mitchellh.ghostty"),
    };
    if (app->categories.isEmpty() && named(terminals))
        return PasteKeystroke::controlShiftV;
    return PasteKeystroke::controlV;
}
