#include "platform/linux/input/EvdevKeySource.h"

#include "store/Log.h"

#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

struct Modifier {
    std::uint16_t evdev;
    std::int64_t code;
    std::uint64_t flag;
};
constexpr Modifier modifiers[] = {
    {KEY_LEFTALT, MacKey::option, MacKey::optionFlag},       {KEY_RIGHTALT, MacKey::rightOption, MacKey::optionFlag},
    {KEY_LEFTCTRL, MacKey::control, MacKey::controlFlag},    {KEY_RIGHTCTRL, MacKey::rightControl, MacKey::controlFlag},
    {KEY_LEFTSHIFT, MacKey::shift, MacKey::shiftFlag},       {KEY_RIGHTSHIFT, MacKey::rightShift, MacKey::shiftFlag},
    {KEY_LEFTMETA, MacKey::command, MacKey::commandFlag},    {KEY_RIGHTMETA, MacKey::rightCommand, MacKey::commandFlag},
};

bool testBit(const unsigned char* bits, unsigned bit)
{
    return bits[bit / 8] & (1u << (bit % 8));
}

// The keys the device holds now; none known where it cannot tell (not a device).
std::set<std::uint16_t> heldKeys(int fd)
{
    unsigned char bits[KEY_MAX / 8 + 1] = {};
    std::set<std::uint16_t> held;
    if (::ioctl(fd, EVIOCGKEY(sizeof bits), bits) < 0)
        return held;
    for (unsigned code = 0; code <= KEY_MAX; ++code) {
        if (testBit(bits, code))
            held.insert(std::uint16_t(code));
    }
    return held;
}

// A device with keys a trigger can be, that is not Sayri's own paste keyboard.
bool isKeyboard(int fd)
{
    char name[256] = {};
    if (::ioctl(fd, EVIOCGNAME(sizeof name - 1), name) >= 0
        && std::strcmp(name, EvdevKeySource::pasteKeyboardName) == 0)
        return false;
    unsigned char bits[KEY_MAX / 8 + 1] = {};
    if (::ioctl(fd, EVIOCGBIT(EV_KEY, sizeof bits), bits) < 0)
        return false;
    return testBit(bits, KEY_LEFTALT) || testBit(bits, KEY_LEFTCTRL) || testBit(bits, KEY_ESC);
}

}  // namespace

struct EvdevKeySource::Device {
    int fd;
    QString path;
    EvdevReader reader;
    std::unique_ptr<QSocketNotifier> notifier;
};

EvdevKeySource::EvdevKeySource(QString folder) : folder_(std::move(folder)) {}

EvdevKeySource::~EvdevKeySource()
{
    for (auto& [fd, device] : devices_) {
        device->notifier.reset();
        ::close(fd);
    }
}

bool EvdevKeySource::open()
{
    if (!watcher_) {
        // Keyboards plugged in later are read too.
        watcher_ = new QFileSystemWatcher({folder_}, this);
        connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { scan(); });
    }
    scan();
    if (devices_.empty())
        Log::write(QStringLiteral("読めるキーボードが %1 にありません").arg(folder_));
    return isOpen();
}

void EvdevKeySource::scan()
{
    const QStringList names = QDir(folder_).entryList({QStringLiteral("event*")}, QDir::System);
    for (const QString& name : names) {
        const QString path = folder_ + u'/' + name;
        bool known = false;
        for (const auto& [fd, device] : devices_)
            known = known || device->path == path;
        if (known)
            continue;
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (isKeyboard(fd))
            addDevice(fd, path);
        else
            ::close(fd);
    }
}

void EvdevKeySource::addDevice(int fd, const QString& path)
{
    auto device = std::make_unique<Device>(Device{fd, path, EvdevReader([fd] { return heldKeys(fd); }), nullptr});
    device->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    Device* d = device.get();
    connect(device->notifier.get(), &QSocketNotifier::activated, this, [this, d] { readFrom(*d); });
    devices_[fd] = std::move(device);
}

void EvdevKeySource::readFrom(Device& device)
{
    char buffer[64 * sizeof(input_event)];
    const ssize_t n = ::read(device.fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        // Unplugged (or the other end closed): its held keys are let go.
        const int fd = device.fd;
        const std::set<std::uint16_t> held = device.reader.held();
        devices_.erase(fd);  // `device` is gone from here on
        ::close(fd);
        for (const std::uint16_t code : held)
            handle(EvdevReader::Key{code, 0, true});
        return;
    }
    for (const EvdevReader::Key& key : device.reader.feed(QByteArray(buffer, n)))
        handle(key);
}

std::int64_t EvdevKeySource::keyCodeOf(std::uint16_t evdevCode)
{
    for (const Modifier& m : modifiers) {
        if (m.evdev == evdevCode)
            return m.code;
    }
    if (evdevCode == KEY_CAPSLOCK)
        return MacKey::capsLock;
    if (evdevCode == KEY_ESC)
        return MacKey::escape;
    return MacKey::otherKey;
}

bool EvdevKeySource::hasKey(std::int64_t keyCode) const
{
    for (const Modifier& m : modifiers) {
        if (m.code == keyCode)
            return true;
    }
    return false;
}

std::uint64_t EvdevKeySource::flags() const
{
    std::uint64_t f = capsLock_ ? MacKey::capsLockFlag : 0;
    for (const Modifier& m : modifiers) {
        if (held_.value(m.code) > 0)
            f |= m.flag;
    }
    return f;
}

void EvdevKeySource::send(std::uint32_t type, std::int64_t code)
{
    if (onEvent)
        onEvent(KeyEvent{type, code, type == KeyEventType::flagsChanged ? flags() : 0});
}

void EvdevKeySource::handle(const EvdevReader::Key& key)
{
    if (key.code >= BTN_MISC && key.code < KEY_OK)
        return;  // mouse and joystick buttons are not keys
    const std::int64_t code = keyCodeOf(key.code);
    if (code == MacKey::capsLock) {
        if (key.value == 1) {
            capsLock_ = !capsLock_;
            send(KeyEventType::flagsChanged, code);
        }
        return;
    }
    if (!hasKey(code)) {
        if (key.value != 0)
            send(KeyEventType::keyDown, code);
        return;
    }
    if (key.value == 2)
        return;  // a held modifier repeats
    // A release the lost events hid is no clean tap.
    if (key.resync && key.value == 0)
        send(KeyEventType::keyDown, MacKey::otherKey);
    int& count = held_[code];
    if (key.value == 1)
        ++count;
    else if (count > 0)
        --count;
    else
        return;
    send(KeyEventType::flagsChanged, code);
}
