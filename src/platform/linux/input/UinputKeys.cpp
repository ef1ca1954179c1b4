#include "platform/linux/input/UinputKeys.h"

#include "platform/linux/input/EvdevKeySource.h"
#include "store/Log.h"

#include <QFile>
#include <QRegularExpression>

#include <cstring>
#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon-keysyms.h>

UinputKeys::UinputKeys() : keymap_(userLayout())
{
    fd_ = ::open("/dev/uinput", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        Log::write(QStringLiteral("/dev/uinput を開けないため、貼り付けのキーを送れません"));
        return;
    }
    ::ioctl(fd_, UI_SET_EVBIT, EV_KEY);
    ::ioctl(fd_, UI_SET_EVBIT, EV_SYN);
    // Every key of a keyboard's main block: the layout decides where "v" is.
    for (int code = KEY_ESC; code <= KEY_COMPOSE; ++code)
        ::ioctl(fd_, UI_SET_KEYBIT, code);
    uinput_setup setup{};
    setup.id.bustype = BUS_VIRTUAL;
    std::strncpy(setup.name, EvdevKeySource::pasteKeyboardName, UINPUT_MAX_NAME_SIZE - 1);
    if (::ioctl(fd_, UI_DEV_SETUP, &setup) < 0 || ::ioctl(fd_, UI_DEV_CREATE) < 0) {
        Log::write(QStringLiteral("uinput のキーボードを作れないため、貼り付けのキーを送れません"));
        ::close(fd_);
        fd_ = -1;
    }
}

UinputKeys::~UinputKeys()
{
    if (fd_ < 0)
        return;
    ::ioctl(fd_, UI_DEV_DESTROY);
    ::close(fd_);
}

std::optional<Keymap> UinputKeys::userLayout(const QString& defaultsFile)
{
    if (!qEnvironmentVariableIsEmpty("XKB_DEFAULT_LAYOUT"))
        return Keymap::fromNames();
    QFile file(defaultsFile);
    QString layout, variant, options;
    if (file.open(QIODevice::ReadOnly)) {
        static const QRegularExpression line(QStringLiteral(R"re(^\s*(XKBLAYOUT|XKBVARIANT|XKBOPTIONS)\s*=\s*"?([^"\n]*)"?)re"),
                                             QRegularExpression::MultilineOption);
        for (auto m = line.globalMatch(QString::fromUtf8(file.readAll())); m.hasNext();) {
            const auto match = m.next();
            QString& field = match.captured(1) == QStringLiteral("XKBLAYOUT")    ? layout
                             : match.captured(1) == QStringLiteral("XKBVARIANT") ? variant
                                                                                  : options;
            field = match.captured(2).trimmed();
        }
    }
    return Keymap::fromNames(layout, variant, options);
}

QList<Keymap::Key> UinputKeys::keysOf(PasteKeystroke keystroke) const
{
    QList<std::uint32_t> syms{XKB_KEY_Control_L, XKB_KEY_v};
    if (keystroke == PasteKeystroke::controlShiftV)
        syms = {XKB_KEY_Control_L, XKB_KEY_Shift_L, XKB_KEY_v};
    else if (keystroke == PasteKeystroke::shiftInsert)
        syms = {XKB_KEY_Shift_L, XKB_KEY_Insert};
    QList<Keymap::Key> keys;
    for (const std::uint32_t sym : syms) {
        const auto key = keymap_ ? keymap_->find(sym) : std::nullopt;
        if (!key)
            return {};
        keys << *key;
    }
    return keys;
}

bool UinputKeys::canSend(PasteKeystroke keystroke)
{
    return fd_ >= 0 && !keysOf(keystroke).isEmpty();
}

void UinputKeys::put(std::uint16_t type, std::uint16_t code, int value)
{
    input_event e{};
    e.type = type;
    e.code = code;
    e.value = value;
    if (::write(fd_, &e, sizeof e) != sizeof e)
        Log::write(QStringLiteral("uinput へキーを書けませんでした"));
}

bool UinputKeys::sendPasteKeystroke(PasteKeystroke keystroke)
{
    const QList<Keymap::Key> keys = keysOf(keystroke);
    if (fd_ < 0 || keys.isEmpty())
        return false;
    for (const Keymap::Key& key : keys) {
        put(EV_KEY, std::uint16_t(key.evdevCode), 1);
        put(EV_SYN, SYN_REPORT, 0);
    }
    for (auto key = keys.crbegin(); key != keys.crend(); ++key) {
        put(EV_KEY, std::uint16_t(key->evdevCode), 0);
        put(EV_SYN, SYN_REPORT, 0);
    }
    return true;
}
