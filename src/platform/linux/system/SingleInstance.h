#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

// One Sayri per display: a second graphical session of the same user (a
// remote desktop beside the local one) has a Sayri of its own. The one
// instance holds a lock file for its whole life and listens on a local
// socket; a later launch on the same display finds the lock taken, hands its
// request to the running instance and ends. Of two launches at the same
// moment the kernel gives the lock to exactly one. A socket file is replaced
// only by the lock's holder, and only when nothing answers on it.
//
// Lock and socket live in a folder of this user's alone: "sayri" in
// XDG_RUNTIME_DIR, or without one (or where it cannot be made) "sayri-<uid>"
// in the temporary folder, created with mode 0700. A folder there that is not
// this user's own (made by another user, a symbolic link) is refused; with no
// folder left, so is the launch.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the one instance. Otherwise the running
    // instance has been asked to show its settings window, or there is no
    // safe place for the lock (refusal() says why).
    bool claim();
    // Starts listening (after `claim`); `onReopen` runs on the main thread,
    // from the event loop, for each request.
    bool listen(std::function<void()> onReopen);
    // Why claim() found no safe place; empty when it did.
    QString refusal() const { return refusal_; }

    // This display's socket; empty when its folder is refused (`why` then
    // says why, when given). Creates the folder.
    static QString socketPath(QString* why = nullptr);

private:
    int lockFd_ = -1;
    QString socketPath_;
    QString refusal_;
    QLocalServer* server_ = nullptr;
};
