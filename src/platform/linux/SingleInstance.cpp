#include "platform/linux/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QByteArray reopenRequest = QByteArrayLiteral("reopen\n");
constexpr int handOverMs = 3000;  // for an instance that is still starting up

// Asks the instance listening on `path` to show its settings window; false
// when nothing answers a connection there (refused, or no such socket).
bool askToReopen(const QString& path, int patienceMs)
{
    const QDeadlineTimer deadline(patienceMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(path);
        if (socket.waitForConnected(500))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
    socket.write(reopenRequest);
    socket.waitForBytesWritten(500);
    // Taken once the running instance's event loop reads it; its answer is
    // not waited for.
    return true;
}

}  // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance()
{
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

QString SingleInstance::socketPath()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists())
        return runtime + QStringLiteral("/sayri.sock");
    return QDir::tempPath() + QStringLiteral("/sayri-%1.sock").arg(getuid());
}

bool SingleInstance::claim()
{
    const QByteArray lockPath = QFile::encodeName(socketPath() + QStringLiteral(".lock"));
    const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        // Another instance lives (the kernel drops a dead one's lock).
        ::close(fd);
        askToReopen(socketPath(), handOverMs);
        return false;
    }
    lockFd_ = fd;
    // Ours now, unless something still answers on the socket (an instance
    // whose lock file was removed, or no lock file could be made at all).
    return !askToReopen(socketPath(), 0);
}

bool SingleInstance::listen(std::function<void()> onReopen)
{
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(socketPath());  // nothing answered on it: a dead instance's
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
