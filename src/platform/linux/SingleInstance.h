#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

// One Sayri per user session. The one instance holds a lock file for its
// whole life and listens on a local socket; a later launch finds the lock
// taken, hands its request to the running instance and ends. Of two launches
// at the same moment the kernel gives the lock to exactly one. A socket file
// is replaced only by the lock's holder, and only when nothing answers on it.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the one instance. Otherwise the running
    // instance has been asked to show its settings window.
    bool claim();
    // Starts listening (after `claim`); `onReopen` runs on the main thread,
    // from the event loop, for each request.
    bool listen(std::function<void()> onReopen);

    static QString socketPath();

private:
    int lockFd_ = -1;
    QLocalServer* server_ = nullptr;
};
