#include "platform/linux/sway/SwayIpc.h"

#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr char magic[] = "i3-ipc";
constexpr qsizetype magicSize = 6;
constexpr qsizetype headerSize = magicSize + 8;
// Larger than any tree sway sends for a desktop; more is not a reply of sway's.
constexpr std::uint32_t largestPayload = 64 * 1024 * 1024;

// Waits for `events` on `fd` until `deadline`; false on time-out or error.
bool waitFor(int fd, short events, const QDeadlineTimer& deadline)
{
    pollfd p{fd, events, 0};
    for (;;) {
        const int n = ::poll(&p, 1, int(qMax<qint64>(0, deadline.remainingTime())));
        if (n > 0)
            return (p.revents & events) != 0;
        if (n == 0 || errno != EINTR)
            return false;
    }
}

}  // namespace

namespace SwayIpc {

QByteArray encode(std::uint32_t type, const QByteArray& payload)
{
    QByteArray message(magic, magicSize);
    const std::uint32_t length = std::uint32_t(payload.size());
    message.append(reinterpret_cast<const char*>(&length), 4);
    message.append(reinterpret_cast<const char*>(&type), 4);
    return message + payload;
}

QList<Message> takeMessages(QByteArray& buffer)
{
    QList<Message> messages;
    while (buffer.size() >= headerSize) {
        if (!buffer.startsWith(QByteArray(magic, magicSize))) {
            buffer.clear();  // not sway's framing: nothing after it can be read either
            break;
        }
        std::uint32_t length = 0, type = 0;
        std::memcpy(&length, buffer.constData() + magicSize, 4);
        std::memcpy(&type, buffer.constData() + magicSize + 4, 4);
        if (length > largestPayload) {
            buffer.clear();
            break;
        }
        if (buffer.size() < headerSize + qsizetype(length))
            break;
        messages << Message{type, buffer.mid(headerSize, length)};
        buffer.remove(0, headerSize + length);
    }
    return messages;
}

std::optional<QJsonDocument> ask(const QString& socket, std::uint32_t type, const QByteArray& payload, int timeoutMs)
{
    const QByteArray path = QFile::encodeName(socket);
    sockaddr_un address{};
    if (path.isEmpty() || size_t(path.size()) >= sizeof address.sun_path)
        return std::nullopt;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return std::nullopt;
    const QDeadlineTimer deadline(timeoutMs);
    std::optional<QJsonDocument> reply;
    QByteArray out = encode(type, payload), in;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 || errno == EINPROGRESS) {
        while (!out.isEmpty() && waitFor(fd, POLLOUT, deadline)) {
            const ssize_t n = ::send(fd, out.constData(), size_t(out.size()), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            out.remove(0, n);
        }
        char chunk[65536];
        while (out.isEmpty() && !reply && waitFor(fd, POLLIN, deadline)) {
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            in.append(chunk, n);
            for (const Message& m : takeMessages(in)) {
                if (m.type == type)
                    reply = QJsonDocument::fromJson(m.payload);
            }
        }
    }
    ::close(fd);
    return reply;
}

}  // namespace SwayIpc
