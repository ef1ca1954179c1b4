#include "FileServer.h"

#include <QTcpSocket>

#include <chrono>
#include <memory>

namespace {

constexpr qint64 pieceSize = 256 * 1024;

QByteArray headerValue(const QByteArray& head, const QByteArray& name)
{
    for (const QByteArray& line : head.split('\n'))
        if (line.toLower().startsWith(name.toLower() + ':'))
            return line.mid(name.size() + 1).trimmed();
    return {};
}

}  // namespace

FileServer::FileServer()
{
    tcp_.listen(QHostAddress::LocalHost, 0);
    port_ = tcp_.serverPort();
    connect(&tcp_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = tcp_.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket, head = QByteArray()]() mutable {
                head += socket->readAll();
                if (head.contains("\r\n\r\n"))
                    answer(socket, std::exchange(head, {}));
            });
        }
    });
}

void FileServer::reopen()
{
    if (!tcp_.isListening())
        tcp_.listen(QHostAddress::LocalHost, port_);
}

void FileServer::answer(QTcpSocket* socket, const QByteArray& head)
{
    const QString path = QString::fromLatin1(head.split(' ').value(1));
    const QByteArray range = headerValue(head, "Range");
    requests_ << (range.isEmpty() ? path : path + u' ' + QString::fromLatin1(range));
    if (!routes_.contains(path))
        routes_[path] = Route{.block = "no such file", .status = 404};
    Route& route = routes_[path];
    const qint64 size = route.size < 0 ? route.block.size() : route.size;
    const QByteArray etag = "\"" + QByteArray::number(route.changingTag ? requests_.size() : size) + "\"";

    qint64 from = 0;
    QByteArray status = QByteArray::number(route.status);
    QByteArray extra = "ETag: " + etag + "\r\n";
    if (!route.redirect.isEmpty()) {
        status = "302";
        extra = "Location: " + route.redirect.toLatin1() + "\r\n";
    } else if (route.status == 200 && range.startsWith("bytes=") && !route.ignoreRange) {
        const QByteArray ifRange = headerValue(head, "If-Range");
        if (ifRange.isEmpty() || ifRange == etag || route.changingTag) {
            from = range.mid(6, range.indexOf('-') - 6).toLongLong();
            status = "206";
            extra += "Content-Range: bytes " + QByteArray::number(from) + '-' + QByteArray::number(size - 1) + '/'
                     + QByteArray::number(size) + "\r\n";
        }
    }
    qint64 end = route.redirect.isEmpty() ? size : from;
    if (!route.noLength)
        extra += "Content-Length: " + QByteArray::number(end - from) + "\r\n";
    socket->write("HTTP/1.1 " + status + " X\r\n" + extra + "Connection: close\r\n\r\n");
    if (!route.drops.isEmpty())
        end = qMin(end, from + route.drops.takeFirst());
    const qint64 stop = route.stallAt < 0 ? end : qMin(end, from + route.stallAt);

    // Writes the body piece by piece as the socket drains.
    auto pos = std::make_shared<qint64>(from);
    const QByteArray block = route.block;
    auto pump = [this, socket, pos, block, stop, end] {
        while (*pos < stop && socket->bytesToWrite() < pieceSize) {
            const qint64 offset = *pos % block.size();
            const qint64 n = qMin(qMin(pieceSize, block.size() - offset), stop - *pos);
            socket->write(block.constData() + offset, n);
            *pos += n;
        }
        if (*pos == end && socket->bytesToWrite() == 0 && socket->state() == QAbstractSocket::ConnectedState) {
            lastByteAt_ = std::chrono::steady_clock::now().time_since_epoch().count();
            socket->disconnectFromHost();
        }
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, pump);
    pump();
}
