#include "platform/linux/LinuxDesktop.h"

#include "platform/linux/input/EvdevKeySource.h"
#include "platform/linux/input/UinputKeys.h"
#include "platform/linux/sway/SwayFrontmostApp.h"
#include "platform/linux/sway/SwayKeySource.h"
#include "platform/linux/system/SessionEnvironment.h"
#include "platform/linux/tray/StatusNotifierTray.h"
#include "platform/linux/wayland/LayerShellBar.h"
#include "platform/linux/wayland/WaylandDataControl.h"
#include "platform/linux/wayland/WaylandVirtualKeyboard.h"
#include "platform/linux/x11/X11FrontmostApp.h"
#include "platform/linux/x11/X11KeySource.h"
#include "platform/linux/x11/X11KeySynthesizer.h"
#include "platform/linux/x11/X11KeyboardAccess.h"
#include "store/Log.h"

#include <QStringList>

namespace {

using Plan = SessionPlan;

// The session offers no way to hear the keyboard.
class NoKeySource : public KeySource {
public:
    bool open() override { return false; }
    bool isOpen() const override { return false; }
    void enable() override {}
    bool hasKey(std::int64_t) const override { return false; }
};

// The session offers no way to send a keystroke: the text stays on the clipboard.
class NoKeystrokes : public KeySynthesizer {
public:
    bool canSend(PasteKeystroke) override { return false; }
    bool sendPasteKeystroke(PasteKeystroke) override { return false; }
    void sendInertKey() override {}
};

// Access as the session's plan decides it: the trigger key can be heard when
// its row is ready.
class SessionAccess : public KeyboardAccess {
public:
    explicit SessionAccess(QList<SetupRow> rows) : rows_(std::move(rows)) {}
    bool trusted() override { return !rows_.isEmpty() && rows_.front().state == SetupRow::State::ready; }
    QList<SetupRow> rows() override { return rows_; }

private:
    QList<SetupRow> rows_;
};

QString describe(const SessionCapabilities& caps, const Plan& plan)
{
    static const char* const families[] = {"X11", "sway", "KDE Plasma", "GNOME", "ほかのデスクトップ"};
    static const char* const keys[] = {"XInput2", "sway の操作用ソケット", "evdev", "なし"};
    static const char* const pastes[] = {"XTest", "仮想キーボード", "uinput", "なし"};
    static const char* const clipboards[] = {"Qt", "wlr data-control", "ext data-control"};
    static const char* const fronts[] = {"X11", "sway の操作用ソケット"};
    static const char* const bars[] = {"X11 のウインドウ", "layer-shell", "ふつうのウインドウ"};
    return QStringLiteral("セッション: %1（%2） 録音キー=%3 貼り付け=%4 クリップボード=%5 手前のアプリ=%6 録音バー=%7 "
                          "ウインドウ=%8")
        .arg(caps.wayland ? QStringLiteral("Wayland") : QStringLiteral("X11"),
             QString::fromUtf8(families[int(plan.family)]), QString::fromUtf8(keys[int(plan.keys)]),
             QString::fromUtf8(pastes[int(plan.paste)]), QString::fromUtf8(clipboards[int(plan.clipboard)]),
             QString::fromUtf8(fronts[int(plan.front)]), QString::fromUtf8(bars[int(plan.bar)]),
             plan.windows == Plan::Windows::wayland ? QStringLiteral("Wayland") : QStringLiteral("xcb"));
}

}  // namespace

bool LinuxDesktop::prepareApplication(const SessionCapabilities& caps, const SessionPlan& plan, QString& why)
{
    if (plan.family == Plan::Family::x11)
        return true;  // Qt finds the X server by itself, as it always has
    if (plan.windows == Plan::Windows::xcb) {
        SessionEnvironment::setForSayri("QT_QPA_PLATFORM", "xcb");
        if (caps.xDisplay)
            return true;
        why = QStringLiteral("X のディスプレイが見つからないため、起動できません");
        return false;
    }
    if (caps.globals.isEmpty()) {
        why = QStringLiteral("Wayland のコンポジターにも X のディスプレイにもつながらないため、起動できません。ログイン画面"
                             "で X11 のセッションを選んでログインし直してください");
        return false;
    }
    SessionEnvironment::setForSayri("QT_QPA_PLATFORM", "wayland");
    // The bar's window gets no shell role of Qt's: it is given a layer's.
    if (plan.bar == Plan::Bar::layerShell)
        SessionEnvironment::setForSayri("QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT", "1");
    return true;
}

LinuxDesktop LinuxDesktop::make(const SessionCapabilities& caps, const SessionPlan& plan)
{
    Log::write(describe(caps, plan));
    SessionEnvironment::openLinksWithIt();
    LinuxDesktop d;
    const QString sway = qEnvironmentVariable("SWAYSOCK");
    switch (plan.keys) {
    case Plan::Keys::xinput:
        d.keySource = std::make_unique<X11KeySource>();
        break;
    case Plan::Keys::swayIpc:
        d.keySource = std::make_unique<SwayKeySource>(sway);
        break;
    case Plan::Keys::evdev:
        d.keySource = std::make_unique<EvdevKeySource>();
        break;
    case Plan::Keys::none:
        d.keySource = std::make_unique<NoKeySource>();
        break;
    }
    switch (plan.paste) {
    case Plan::Paste::xtest:
        d.keys = std::make_shared<X11KeySynthesizer>();
        d.maskLonePresses = plan.family == Plan::Family::x11;
        break;
    case Plan::Paste::virtualKeyboard:
        d.keys = std::make_shared<WaylandVirtualKeyboard>();
        break;
    case Plan::Paste::uinput:
        d.keys = std::make_shared<UinputKeys>();
        break;
    case Plan::Paste::none:
        d.keys = std::make_shared<NoKeystrokes>();
        break;
    }
    if (plan.front == Plan::Front::swayIpc)
        d.frontmost = [sway] { return std::make_unique<SwayFrontmostApp>(sway); };
    else
        d.frontmost = [] { return std::make_unique<X11FrontmostApp>(); };
    if (plan.clipboard == Plan::Clipboard::extDataControl)
        d.clipboard = std::make_unique<WaylandDataControl>(WaylandDataControl::Protocol::ext);
    else if (plan.clipboard == Plan::Clipboard::wlrDataControl)
        d.clipboard = std::make_unique<WaylandDataControl>(WaylandDataControl::Protocol::wlr);
    if (plan.bar == Plan::Bar::layerShell)
        d.bar = std::make_unique<LayerShellBar>();
    if (plan.tray == Plan::Tray::whenWatched)
        d.tray = std::make_unique<StatusNotifierTray>();
    if (plan.family == Plan::Family::x11)
        d.access = std::make_unique<X11KeyboardAccess>();
    else
        d.access = std::make_unique<SessionAccess>(setupRows(caps, plan));
    d.handClipboardOverAtQuit = plan.windows == Plan::Windows::xcb;
    return d;
}
