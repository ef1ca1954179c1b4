#pragma once

#include "platform/KeySource.h"
#include "platform/linux/input/EvdevReader.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <map>
#include <memory>

class QFileSystemWatcher;
class QSocketNotifier;

// The keyboard read from the kernel's input devices (/dev/input/event*),
// which a user in the "input" group may read in any session: every keyboard
// found, and each plugged in later, without a grab, so every application
// still gets every key. Modifier state is kept across all keyboards from the
// events themselves; a held modifier's repeats are not new presses; keys lost
// to an overrun never make a tap. Sayri's own paste keyboard is left out.
// Main thread only.
class EvdevKeySource : public QObject, public KeySource {
public:
    explicit EvdevKeySource(QString folder = QStringLiteral("/dev/input"));
    ~EvdevKeySource() override;

    bool open() override;
    bool isOpen() const override { return !devices_.empty(); }
    void enable() override {}
    bool hasKey(std::int64_t keyCode) const override;

    // Reads a device from `fd` (taken over), under `path` (may be empty).
    void addDevice(int fd, const QString& path = {});
    // The trigger-key rules' code for a key of the kernel's numbering.
    static std::int64_t keyCodeOf(std::uint16_t evdevCode);

    // The name Sayri's own paste keyboard (uinput) carries.
    static constexpr const char* pasteKeyboardName = "Sayri paste keyboard";

private:
    struct Device;
    void scan();
    void readFrom(Device& device);
    void handle(const EvdevReader::Key& key);
    std::uint64_t flags() const;
    void send(std::uint32_t type, std::int64_t code);

    QString folder_;
    QFileSystemWatcher* watcher_ = nullptr;
    std::map<int, std::unique_ptr<Device>> devices_;
    QHash<std::int64_t, int> held_;  // modifier code -> keyboards holding it
    bool capsLock_ = false;
};
