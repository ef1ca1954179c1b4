// Listening sockets and their owners, read from /proc: the socket inodes of
// the port come from /proc/net/tcp and /proc/net/tcp6, their processes from
// the "socket:[inode]" links in /proc/<pid>/fd.

#include "platform/linux/system/ProcPortListeners.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <climits>
#include <csignal>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace PortListeners {

namespace {

constexpr int listenState = 0x0A;

QSet<QByteArray> listeningInodes(const QString& table, quint16 port)
{
    QSet<QByteArray> inodes;
    QFile f(table);
    if (!f.open(QIODevice::ReadOnly))
        return inodes;
    f.readLine();  // column titles
    while (!f.atEnd()) {
        // sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode ...
        const QList<QByteArray> fields = f.readLine().simplified().split(' ');
        if (fields.size() < 10)
            continue;
        const QByteArray& local = fields[1];
        const qsizetype colon = local.lastIndexOf(':');
        bool portOk = false;
        bool stateOk = false;
        const uint localPort = local.mid(colon + 1).toUInt(&portOk, 16);
        const int state = fields[3].toInt(&stateOk, 16);
        if (colon < 0 || !portOk || !stateOk || localPort != port || state != listenState)
            continue;
        if (fields[9] != "0")
            inodes.insert(fields[9]);
    }
    return inodes;
}

QByteArray readLink(const QByteArray& path)
{
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.constData(), target, sizeof target);
    return n > 0 ? QByteArray(target, n) : QByteArray();
}

bool holdsSocket(const QByteArray& fdFolder, const QSet<QByteArray>& inodes)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> fds(::opendir(fdFolder.constData()), ::closedir);
    if (!fds)
        return false;  // gone, or another user's process
    while (const dirent* fd = ::readdir(fds.get())) {
        if (fd->d_name[0] == '.')
            continue;
        const QByteArray link = readLink(fdFolder + '/' + fd->d_name);
        if (link.startsWith("socket:[") && link.endsWith(']') && inodes.contains(link.mid(8, link.size() - 9)))
            return true;
    }
    return false;
}

QString commandNameOf(const QByteArray& base)
{
    QFile comm(QFile::decodeName(base + "/comm"));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
}

// The parent's process id: the field after the state in /proc/<pid>/stat.
qint64 parentOf(const QByteArray& base)
{
    QFile stat(QFile::decodeName(base + "/stat"));
    const QByteArray text = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    return text.mid(text.lastIndexOf(')') + 2).split(' ').value(1).toLongLong();
}

QString baseName(QString path)
{
    path.remove(QStringLiteral(" (deleted)"));
    return QFileInfo(path).fileName();
}

}  // namespace

QList<PortListener> find(quint16 port)
{
    QSet<QByteArray> inodes = listeningInodes(QStringLiteral("/proc/net/tcp"), port);
    inodes.unite(listeningInodes(QStringLiteral("/proc/net/tcp6"), port));
    QList<PortListener> found;
    if (inodes.isEmpty())
        return found;

    const std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
    if (!proc)
        return found;
    while (const dirent* entry = ::readdir(proc.get())) {
        bool isPid = false;
        const qint64 pid = QByteArray(entry->d_name).toLongLong(&isPid);
        if (!isPid || pid <= 0)
            continue;
        const QByteArray base = "/proc/" + QByteArray(entry->d_name);
        if (!holdsSocket(base + "/fd", inodes))
            continue;

        PortListener l;
        l.pid = pid;
        l.executableName = baseName(QFile::decodeName(readLink(base + "/exe")));
        l.commandName = commandNameOf(base);
        l.parentPid = parentOf(base);
        if (l.parentPid > 0)
            l.parentCommandName = commandNameOf("/proc/" + QByteArray::number(l.parentPid));
        struct stat info {};
        l.sameUser = ::stat(base.constData(), &info) == 0 && info.st_uid == ::geteuid();
        found.append(l);
    }
    return found;
}

bool forceEnd(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), SIGKILL) == 0;
}

}  // namespace PortListeners
