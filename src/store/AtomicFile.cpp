#include "store/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile f(path);
    auto fail = [&] {
        if (error)
            *error = f.errorString();
        return false;
    };
    if (!f.open(QIODevice::WriteOnly))
        return fail();
    // An error while the buffer drains at commit() goes unnoticed by
    // QSaveFile (Qt 6.4), so the buffer is drained here first.
    if (f.write(bytes) != bytes.size() || !f.flush()) {
        fail();
        f.cancelWriting();
        return false;
    }
    return f.commit() || fail();
}

namespace {

// fsync of a file or folder by its path; the system's reason on failure.
std::optional<QString> syncPath(const QString& path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return why;
    }
    ::close(fd);
    return std::nullopt;
}

}  // namespace

std::optional<QString> renameDurably(const QString& from, const QString& to)
{
    if (auto why = syncPath(from, O_RDONLY))
        return why;
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    // The folder's entry is what a power cut could still lose; the file is
    // in place for this run either way.
    syncPath(QFileInfo(to).absolutePath(), O_RDONLY | O_DIRECTORY);
    return std::nullopt;
}
