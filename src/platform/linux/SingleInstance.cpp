#include "platform/linux/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace {
const QByteArray reopenRequest = QByteArrayLiteral("reopen\n");
}

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

QString SingleInstance::socketPath()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists())
        return runtime + QStringLiteral("/sayri.sock");
    return QDir::tempPath() + QStringLiteral("/sayri-%1.sock").arg(getuid());
}

bool SingleInstance::askRunningInstanceToReopen()
{
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(500))
        return false;
    socket.write(reopenRequest);
    if (!socket.waitForBytesWritten(500))
        return false;
    // The running instance answers once it has taken the request.
    return socket.waitForReadyRead(2000) && socket.readAll().startsWith("ok");
}

bool SingleInstance::listen(std::function<void()> onReopen)
{
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(socketPath());  // a socket left by a crashed instance
    if (!server_->listen(socketPath()))
        return false;
    connect(server_, &QLocalServer::newConnection, this, [this, onReopen = std::move(onReopen)] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, socket, [socket, onReopen] {
                if (!socket->readAll().startsWith(reopenRequest.trimmed()))
                    return;
                socket->write("ok\n");
                socket->flush();
                onReopen();
            });
        }
    });
    return true;
}
