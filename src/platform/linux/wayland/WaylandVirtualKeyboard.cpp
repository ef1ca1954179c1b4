#include "platform/linux/wayland/WaylandVirtualKeyboard.h"

#include "platform/linux/input/Keymap.h"
#include "platform/linux/wayland/WaylandNative.h"
#include "store/Log.h"

#include "qwayland-virtual-keyboard-unstable-v1.h"

#include <QtWaylandClient/QWaylandClientExtensionTemplate>

#include <QElapsedTimer>
#include <QList>

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace {

class Manager : public QWaylandClientExtensionTemplate<Manager>, public QtWayland::zwp_virtual_keyboard_manager_v1 {
public:
    Manager() : QWaylandClientExtensionTemplate<Manager>(1) {}
};

QList<xkb_keysym_t> symbolsOf(PasteKeystroke keystroke)
{
    switch (keystroke) {
    case PasteKeystroke::controlShiftV:
        return {XKB_KEY_Control_L, XKB_KEY_Shift_L, XKB_KEY_v};
    case PasteKeystroke::shiftInsert:
        return {XKB_KEY_Shift_L, XKB_KEY_Insert};
    case PasteKeystroke::controlV:
    case PasteKeystroke::editThenControlV:  // for a line break, which no dictated text holds: plain Ctrl+V
        break;
    }
    return {XKB_KEY_Control_L, XKB_KEY_v};
}

// A file of the keymap's text, with its closing NUL, as the protocol hands keymaps on.
int keymapFile(const QByteArray& text)
{
    const int fd = ::memfd_create("sayri-keymap", MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    const qsizetype size = text.size() + 1;
    if (::write(fd, text.constData(), size_t(size)) != size) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

struct WaylandVirtualKeyboard::Impl {
    Manager manager;
    std::unique_ptr<QtWayland::zwp_virtual_keyboard_v1> keyboard;
    wl_keyboard* seatKeyboard = nullptr;
    std::optional<Keymap> keymap;
    QByteArray uploaded;
    QElapsedTimer clock;

    Impl()
    {
        clock.start();
        QObject::connect(&manager, &QWaylandClientExtension::activeChanged, &manager, [this] { begin(); });
    }

    ~Impl()
    {
        if (seatKeyboard)
            wl_keyboard_release(seatKeyboard);
        if (keyboard)
            keyboard->destroy();
    }

    // The keyboard for the whole run, as soon as the compositor offers it.
    // A seat without a keyboard may gain one later: it is looked for again
    // at each keystroke.
    void begin()
    {
        wl_seat* seat = WaylandNative::seat();
        if (!manager.isActive() || !seat)
            return;
        if (!keyboard)
            keyboard = std::make_unique<QtWayland::zwp_virtual_keyboard_v1>(manager.create_virtual_keyboard(seat));
        followSeatKeymap();
        if (!keymap)
            upload(Keymap::fromNames());
    }

    // A keyboard of the seat's own, heard only for its keymap.
    void followSeatKeymap()
    {
        if (seatKeyboard || !WaylandNative::seatHasKeyboard())
            return;
        static const wl_keyboard_listener listener = {
            [](void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
                static_cast<Impl*>(data)->seatKeymap(format, fd, size);
            },
            [](void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {},
            [](void*, wl_keyboard*, uint32_t, wl_surface*) {},
            [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t) {},
            [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {},
            [](void*, wl_keyboard*, int32_t, int32_t) {},
        };
        seatKeyboard = wl_seat_get_keyboard(WaylandNative::seat());
        wl_keyboard_add_listener(seatKeyboard, &listener, this);
    }

    void seatKeymap(uint32_t format, int32_t fd, uint32_t size)
    {
        std::optional<Keymap> read;
        if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
            void* text = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
            if (text != MAP_FAILED) {
                read = Keymap::fromText(QByteArray(static_cast<const char*>(text), qstrnlen(static_cast<const char*>(text), size)));
                ::munmap(text, size);
            }
        }
        ::close(fd);
        if (read)
            upload(read);
    }

    void upload(const std::optional<Keymap>& map)
    {
        if (!map || !keyboard)
            return;
        const QByteArray text = map->text();
        keymap = map;
        if (text == uploaded)
            return;  // the seat hands back what was uploaded
        const int fd = keymapFile(text);
        if (fd < 0)
            return;
        keyboard->keymap(WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, uint32_t(text.size() + 1));
        ::close(fd);
        uploaded = text;
        wl_display_flush(WaylandNative::display());
    }

    QList<Keymap::Key> keysOf(PasteKeystroke keystroke) const
    {
        QList<Keymap::Key> keys;
        if (!keymap)
            return keys;
        for (const xkb_keysym_t sym : symbolsOf(keystroke)) {
            const auto key = keymap->find(sym);
            if (!key)
                return {};
            keys << *key;
        }
        return keys;
    }

    void send(const QList<Keymap::Key>& keys)
    {
        const std::shared_ptr<xkb_state> state(xkb_state_new(keymap->get()), xkb_state_unref);
        // The layout in which the last key (the letter) types its symbol.
        xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, keys.back().layout);
        const auto press = [&](const Keymap::Key& key, bool down) {
            keyboard->key(uint32_t(clock.elapsed()), key.evdevCode,
                          down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
            xkb_state_update_key(state.get(), key.evdevCode + 8, down ? XKB_KEY_DOWN : XKB_KEY_UP);
            keyboard->modifiers(xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_DEPRESSED),
                                xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_LATCHED),
                                xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_LOCKED),
                                xkb_state_serialize_layout(state.get(), XKB_STATE_LAYOUT_EFFECTIVE));
        };
        keyboard->modifiers(0, 0, 0, keys.back().layout);
        for (const Keymap::Key& key : keys)
            press(key, true);
        for (auto key = keys.crbegin(); key != keys.crend(); ++key)
            press(*key, false);
        wl_display_flush(WaylandNative::display());
    }
};

WaylandVirtualKeyboard::WaylandVirtualKeyboard() : d_(std::make_unique<Impl>()) {}

WaylandVirtualKeyboard::~WaylandVirtualKeyboard() = default;

bool WaylandVirtualKeyboard::canSend(PasteKeystroke keystroke)
{
    d_->begin();
    return d_->keyboard && !d_->keysOf(keystroke).isEmpty();
}

bool WaylandVirtualKeyboard::sendPasteKeystroke(PasteKeystroke keystroke)
{
    if (!canSend(keystroke)) {
        Log::write(QStringLiteral("仮想キーボードで貼り付けのキーを送れません（キー配列に当たるキーがありません）"));
        return false;
    }
    d_->send(d_->keysOf(keystroke));
    return true;
}
