#pragma once

#include <QProcess>

// Real key events in a Wayland session, through the test's own virtual
// keyboard (sayri-wayland-keys), named by keysym like XTestKeys; each call
// returns once the compositor has taken the event.
class WaylandKeys {
public:
    WaylandKeys()
    {
        keyboard_.start(QStringLiteral(SAYRI_WAYLAND_KEYS), QStringList());
        open_ = answer() == "ready";
    }
    ~WaylandKeys()
    {
        keyboard_.closeWriteChannel();
        if (!keyboard_.waitForFinished(5000))
            keyboard_.kill();
    }
    bool isOpen() const { return open_; }
    void down(const char* keysym) { send("down", keysym); }
    void up(const char* keysym) { send("up", keysym); }
    void tap(const char* keysym)
    {
        down(keysym);
        up(keysym);
    }

private:
    void send(const char* how, const char* keysym)
    {
        keyboard_.write(QByteArray(how) + ' ' + keysym + '\n');
        open_ = open_ && answer() == "ok";
    }
    QByteArray answer()
    {
        while (!keyboard_.canReadLine() && keyboard_.waitForReadyRead(5000)) {
        }
        return keyboard_.readLine().trimmed();
    }

    QProcess keyboard_;
    bool open_ = false;
};
