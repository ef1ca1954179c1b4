#include "platform/linux/SessionPlan.h"

#include "platform/PlatformWords.h"

namespace {

using Plan = SessionPlan;

bool offers(const SessionCapabilities& caps, const char* global)
{
    return caps.globals.contains(QString::fromLatin1(global));
}

Plan::Family familyOf(const SessionCapabilities& caps)
{
    if (!caps.wayland)
        return Plan::Family::x11;
    if (caps.swaySocket || caps.desktops.contains(QStringLiteral("sway")))
        return Plan::Family::sway;
    if (caps.desktops.contains(QStringLiteral("kde")))
        return Plan::Family::kde;
    if (caps.desktops.contains(QStringLiteral("gnome")))
        return Plan::Family::gnome;
    return Plan::Family::other;
}

// KWin hands keys to Xwayland's clients unless told never to.
bool kwinShowsKeysToX11(const SessionCapabilities& caps)
{
    const QString mode = caps.kwinEavesdrop.trimmed().toLower();
    return mode != QStringLiteral("none") && mode != QStringLiteral("never");
}

QString desktopName(Plan::Family family)
{
    switch (family) {
    case Plan::Family::sway:
        return QStringLiteral("sway");
    case Plan::Family::kde:
        return QStringLiteral("KDE Plasma");
    case Plan::Family::gnome:
        return QStringLiteral("GNOME");
    default:
        return QStringLiteral("このデスクトップ");
    }
}

SetupRow keyRow(const SessionCapabilities& caps, const Plan& plan)
{
    SetupRow row;
    row.title = QStringLiteral("録音キー（%1×2）").arg(PlatformWords::optionKey());
    switch (plan.keys) {
    case Plan::Keys::swayIpc:
        row.text = QStringLiteral("sway から直接受け取ります。設定はいりません。");
        return row;
    case Plan::Keys::xinput:
        row.text = QStringLiteral("KWin が X11 のアプリにも渡すキーを聞き取ります。");
        return row;
    case Plan::Keys::evdev:
        row.text = QStringLiteral("キーボードを直接読みます（input グループ）。");
        return row;
    case Plan::Keys::none:
        break;
    }
    if (caps.inputGroupPending) {
        row.state = SetupRow::State::action;
        row.text = QStringLiteral("input グループには入っています。いちどログアウトし、ログインし直すと使えます。");
        return row;
    }
    if (plan.family == Plan::Family::kde && caps.xDisplay) {
        row.state = SetupRow::State::action;
        row.text = QStringLiteral("「%1」→「レガシー X11 アプリのサポート」で、X11 "
                                  "のアプリにキーを渡す設定を「しない」以外にしてください（下のコマンドでも同じです）。")
                       .arg(PlatformWords::systemSettings());
        row.command = QStringLiteral(
            "kwriteconfig5 --file kwinrc --group Xwayland --key XwaylandEavesdrops Modifiers && "
            "qdbus org.kde.KWin /KWin reconfigure");
        return row;
    }
    row.state = SetupRow::State::action;
    row.text = QStringLiteral("%1では、キーボードを直接読む許可がいります。端末で下のコマンドを実行し、ログインし直し"
                              "てください。このユーザーのプログラムは、どれもすべてのキー入力を読めるようになります。")
                   .arg(desktopName(plan.family));
    row.command = QStringLiteral("sudo usermod -aG input \"$USER\"");
    return row;
}

SetupRow pasteRow(const SessionCapabilities& caps, const Plan& plan)
{
    SetupRow row;
    row.title = QStringLiteral("自動貼り付け");
    const QString keystroke = PlatformWords::pasteKeystroke();
    switch (plan.paste) {
    case Plan::Paste::virtualKeyboard:
        row.text = QStringLiteral("仮想キーボードで %1 を送ります。").arg(keystroke);
        return row;
    case Plan::Paste::uinput:
        row.text = QStringLiteral("仮のキーボード（uinput）で %1 を送ります。").arg(keystroke);
        return row;
    case Plan::Paste::xtest:
    case Plan::Paste::none:
        break;
    }
    if (caps.uinputPresent) {
        row.state = SetupRow::State::action;
        row.text = QStringLiteral("パッケージで入れたサイリなら、ログインし直すと %1 を送れます。それまでは、文字はクリップボー"
                                  "ドに入るので、%1 で貼り付けてください。")
                       .arg(keystroke);
        return row;
    }
    row.state = SetupRow::State::unavailable;
    row.text = QStringLiteral("%1では、ほかのアプリへキーを送れません。文字はクリップボードに入るので、%2 "
                              "で貼り付けてください。")
                   .arg(desktopName(plan.family), keystroke);
    return row;
}

SetupRow barRow(const Plan& plan)
{
    SetupRow row;
    row.title = QStringLiteral("録音バー");
    switch (plan.bar) {
    case Plan::Bar::layerShell:
        row.text = QStringLiteral("どのウインドウよりも手前に、入力を奪わずに出します。");
        break;
    case Plan::Bar::x11Window:
        row.text = QStringLiteral("X11 のウインドウ（Xwayland）として手前に出します。");
        break;
    case Plan::Bar::toplevel:
        row.state = SetupRow::State::unavailable;
        row.text = QStringLiteral("手前に出す方法がないため、ふつうのウインドウとして出ます。");
        break;
    }
    return row;
}

}  // namespace

SessionPlan selectPlan(const SessionCapabilities& caps)
{
    Plan plan;
    plan.family = familyOf(caps);
    if (plan.family == Plan::Family::x11)
        return plan;  // the X server does everything

    plan.tray = Plan::Tray::whenWatched;
    // Sayri's windows are native where the bar can float natively, or where
    // there is no X display to run them on.
    const bool layerShell = offers(caps, "zwlr_layer_shell_v1");
    plan.windows = layerShell || !caps.xDisplay ? Plan::Windows::wayland : Plan::Windows::xcb;
    plan.bar = layerShell ? Plan::Bar::layerShell
                          : (plan.windows == Plan::Windows::xcb ? Plan::Bar::x11Window : Plan::Bar::toplevel);

    // The protocols below are spoken on the windows' own Wayland connection.
    const bool native = plan.windows == Plan::Windows::wayland;
    if (native && offers(caps, "ext_data_control_manager_v1"))
        plan.clipboard = Plan::Clipboard::extDataControl;
    else if (native && offers(caps, "zwlr_data_control_manager_v1"))
        plan.clipboard = Plan::Clipboard::wlrDataControl;

    if (plan.family == Plan::Family::sway && caps.swaySocket)
        plan.keys = Plan::Keys::swayIpc;
    else if (plan.family == Plan::Family::kde && caps.xDisplay && kwinShowsKeysToX11(caps))
        plan.keys = Plan::Keys::xinput;
    else if (caps.inputReadable)
        plan.keys = Plan::Keys::evdev;
    else
        plan.keys = Plan::Keys::none;

    // A keystroke needs the clipboard set without the focus too.
    const bool clipboardWithoutFocus = plan.clipboard != Plan::Clipboard::qt || !native;
    if (native && offers(caps, "zwp_virtual_keyboard_manager_v1") && clipboardWithoutFocus)
        plan.paste = Plan::Paste::virtualKeyboard;
    else if (caps.uinputWritable && clipboardWithoutFocus)
        plan.paste = Plan::Paste::uinput;
    else
        plan.paste = Plan::Paste::none;

    plan.front = plan.family == Plan::Family::sway && caps.swaySocket ? Plan::Front::swayIpc : Plan::Front::x11;
    return plan;
}

QList<SetupRow> setupRows(const SessionCapabilities& caps, const SessionPlan& plan)
{
    if (plan.family == Plan::Family::x11)
        return {};
    return {keyRow(caps, plan), pasteRow(caps, plan), barRow(plan)};
}
