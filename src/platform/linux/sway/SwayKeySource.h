#pragma once

#include "platform/KeySource.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

class QLocalSocket;

// The trigger key on sway, heard through sway's command socket: a release
// binding for each key of the trigger (and for Escape while recording) runs a
// "nop" that sway reports to subscribers of its binding events. Release
// bindings take nothing from the focused window, which still sees every key;
// sway runs one only when no other key was pressed since the key went down,
// so a shortcut typed with the key is no tap. Each report becomes the
// trigger key's press and release at that moment (sway tells no press time,
// so a long hold counts like a tap), or an Escape key press.
//
// While recording, the trigger keys' presses are bound as well: the tap that
// ends the recording then reaches no window (a lone Alt tap opens the menu
// bar's keyboard navigation in many applications, which would take the
// paste keystroke). The window still learns the modifier's state, so a
// shortcut with the key works meanwhile.
//
// The bindings live in sway until they are removed: they are removed when the
// trigger changes and when Sayri quits. Main thread only.
class SwayKeySource : public QObject, public KeySource {
public:
    explicit SwayKeySource(QString socketPath);
    ~SwayKeySource() override;

    bool open() override;
    bool isOpen() const override;
    void enable() override {}
    bool hasKey(std::int64_t keyCode) const override;
    void watchKeys(const std::vector<std::int64_t>& keyCodes) override;
    void watchEscape(bool on) override;

    // The key symbol sway binds for a key code of the trigger-key table; empty
    // for a key sway cannot bind alone.
    static QString symbolOf(std::int64_t keyCode);
    // The key code a bound symbol stands for.
    static std::int64_t keyCodeOf(const QString& symbol);

private:
    void command(const QString& text);
    void bind(const QString& symbol);
    void unbind(const QString& symbol);
    void unbindAll();
    // Binds the presses of the trigger keys (on) or lets them go (off).
    void holdPresses(bool on);
    void read();
    void bindingRan(const QByteArray& payload);

    QString path_;
    QLocalSocket* socket_ = nullptr;
    QByteArray buffer_;
    QStringList bound_;  // release bindings
    QStringList held_;   // press bindings
    bool recording_ = false;
    std::vector<std::int64_t> wanted_;
};
