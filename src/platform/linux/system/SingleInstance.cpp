#include "platform/linux/system/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStringList>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

// The display this session shows, as a file name: DISPLAY without its screen
// number (":0.0" and "unix:0" are ":0"), or the Wayland display without one.
QString displayKey()
{
    QString display = qEnvironmentVariable("DISPLAY");
    if (display.startsWith(QLatin1String("unix:")))
        display.remove(0, 4);
    const qsizetype colon = display.lastIndexOf(u':');
    const qsizetype dot = display.indexOf(u'.', colon);
    if (colon >= 0 && dot > colon)
        display.truncate(dot);
    if (display.isEmpty())
        display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty())
        display = QStringLiteral("none");
    for (QChar& c : display)
        if (!c.isLetterOrNumber() && c != u':' && c != u'.' && c != u'-' && c != u'_')
            c = u'_';
    return display;
}

// Makes `path` a folder of this user's alone, or finds it one: a real folder
// (no symbolic link) owned by this user that nobody else may enter. One of
// this user's with more access is narrowed. False with the reason otherwise.
bool privateFolder(const QString& path, QString& why)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        why = QStringLiteral("%1 を作れません（%2）").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        why = QStringLiteral("%1 はこのユーザーのフォルダではありません").arg(path);
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(name.constData(), 0700) != 0) {
        why = QStringLiteral("%1 をほかのユーザーから閉じられません").arg(path);
        return false;
    }
    return true;
}

}  // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance()
{
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

QString SingleInstance::socketPath(QString* why)
{
    // The same choice in every launch: the first folder that is or can be made private.
    QStringList folders;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists())
        folders << runtime + QStringLiteral("/sayri");
    folders << QDir::tempPath() + QStringLiteral("/sayri-%1").arg(::getuid());
    QStringList reasons;
    for (const QString& folder : folders) {
        QString reason;
        if (privateFolder(folder, reason))
            return folder + QStringLiteral("/display-%1.sock").arg(displayKey());
        reasons << reason;
    }
    if (why)
        *why = reasons.join(QStringLiteral("。"));
    return {};
}

bool SingleInstance::claim()
{
    socketPath_ = socketPath(&refusal_);
    if (socketPath_.isEmpty())
        return false;
    const QByteArray lockPath = QFile::encodeName(socketPath_ + QStringLiteral(".lock"));
    const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        // Another instance lives (the kernel drops a dead one's lock).
        ::close(fd);
        askToReopen(socketPath_, handOverMs);
        return false;
    }
    lockFd_ = fd;
    // Ours now, unless something still answers on the socket (an instance
    // whose lock file was removed, or no lock file could be made at all).
    return !askToReopen(socketPath_, 0);
}

bool SingleInstance::listen(std::function<void()> onReopen)
{
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(socketPath_);  // nothing answered on it: a dead instance's
    if (!server_->listen(socketPath_))
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
