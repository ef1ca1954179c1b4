#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTcpServer>

#include <atomic>

// A small HTTP/1.1 server on the loopback address that serves a file made of
// a repeated block, with the faults a download must survive: `Range` and
// `If-Range` (or ignoring them), an ETag, redirects, connections dropped or
// stalled after some bytes, error pages, no Content-Length. Streams as the
// socket drains, so a large file costs no memory. Lives on the thread that
// creates it.
class FileServer : public QObject {
    Q_OBJECT
public:
    struct Route {
        QByteArray block = {};  // the body is this block repeated ...
        qint64 size = -1;       // ... up to this many bytes (-1: the block once)
        int status = 200;       // another status serves the block once as its page
        QString redirect = {};  // answer 302 to this path instead
        bool ignoreRange = false;
        bool noLength = false;
        bool changingTag = false;  // a new ETag at every request, If-Range not looked at
        QList<qint64> drops = {};  // per request in turn: close after this many body bytes
        qint64 stallAt = -1;       // stop sending (connection kept open) after this many
    };

    FileServer();
    QString url(const QString& path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(tcp_.serverPort()).arg(path);
    }
    void setRoute(const QString& path, const Route& route) { routes_[path] = route; }
    void setBody(const QString& path, const QByteArray& body, int status = 200)
    {
        setRoute(path, {.block = body, .status = status});
    }
    QString baseUrl() const { return url({}); }
    void close() { tcp_.close(); }
    // Listens again on the port it had before close().
    void reopen();
    // "path" or "path bytes=N-" for each request, in order.
    QStringList requests() const { return requests_; }
    // Steady-clock nanoseconds when the last body byte was handed to the system.
    qint64 lastByteAt() const { return lastByteAt_; }

private:
    void answer(class QTcpSocket* socket, const QByteArray& head);
    QTcpServer tcp_;
    quint16 port_ = 0;
    QHash<QString, Route> routes_;
    QStringList requests_;
    std::atomic<qint64> lastByteAt_{0};
};
