#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

// One Sayri per user session. The first instance listens on a local socket;
// a second launch asks it to show its settings window and then exits.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QObject* parent = nullptr);

    // True when another instance answered and took the request.
    bool askRunningInstanceToReopen();
    // Starts listening; `onReopen` runs on the main thread for each request.
    bool listen(std::function<void()> onReopen);

    static QString socketPath();

private:
    QLocalServer* server_ = nullptr;
};
