// The test's keyboard in a Wayland session: one virtual keyboard for the
// whole run (a fresh one per key loses keys), with the "us" keymap and real
// modifier state, as a hand on a keyboard types. Reads lines from stdin,
// "down KEYSYM" or "up KEYSYM" (xkb names, e.g. Alt_L, x), and answers each
// with "ok" once the compositor has it.
#include "platform/linux/input/Keymap.h"
#include "qwayland-virtual-keyboard-unstable-v1.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QtWaylandClient/QWaylandClientExtensionTemplate>
#include <qpa/qplatformnativeinterface.h>

#include <cstdio>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace {

class Manager : public QWaylandClientExtensionTemplate<Manager>, public QtWayland::zwp_virtual_keyboard_manager_v1 {
public:
    Manager() : QWaylandClientExtensionTemplate<Manager>(1) {}
};

void* resource(const char* name)
{
    return QGuiApplication::platformNativeInterface()->nativeResourceForIntegration(name);
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "wayland");
    QGuiApplication app(argc, argv);
    const auto display = static_cast<wl_display*>(resource("wl_display"));
    const std::optional<Keymap> keymap = Keymap::fromNames(QStringLiteral("us"));
    Manager manager;
    QtWayland::zwp_virtual_keyboard_v1 keyboard;
    std::shared_ptr<xkb_state> state;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&manager, &QWaylandClientExtension::activeChanged, &app, [&] {
        keyboard.init(manager.create_virtual_keyboard(static_cast<wl_seat*>(resource("wl_seat"))));
        const QByteArray text = keymap->text();
        const int fd = ::memfd_create("keymap", MFD_CLOEXEC);
        if (::write(fd, text.constData(), size_t(text.size()) + 1) != text.size() + 1)
            return QGuiApplication::exit(1);
        keyboard.keymap(WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, uint32_t(text.size()) + 1);
        ::close(fd);
        state.reset(xkb_state_new(keymap->get()), xkb_state_unref);
        wl_display_roundtrip(display);
        std::puts("ready");
        std::fflush(stdout);
    });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    const auto run = [&](const QByteArray& line) {
        const QList<QByteArray> words = line.trimmed().split(' ');
        const auto key = words.size() == 2 && state
                             ? keymap->find(xkb_keysym_from_name(words[1].constData(), XKB_KEYSYM_NO_FLAGS))
                             : std::nullopt;
        if (!key)
            return std::puts("unknown");
        const bool down = words[0] == "down";
        keyboard.key(uint32_t(clock.elapsed()), key->evdevCode,
                     down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
        xkb_state_update_key(state.get(), key->evdevCode + 8, down ? XKB_KEY_DOWN : XKB_KEY_UP);
        keyboard.modifiers(xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_DEPRESSED),
                           xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_LATCHED),
                           xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_LOCKED), 0);
        wl_display_roundtrip(display);
        return std::puts("ok");
    };
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char chunk[4096];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0)
            return QGuiApplication::quit();
        pending.append(chunk, n);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1))
            run(pending.left(end));
        std::fflush(stdout);
    });
    return QGuiApplication::exec();
}
