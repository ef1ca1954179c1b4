#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTcpServer>

// A small HTTP server on the loopback address for tests: answers every GET
// with the body set for its path (404 for any other path) and closes the
// connection. Lives on the test's main thread.
class FeedServer : public QObject {
    Q_OBJECT
public:
    FeedServer();
    QString baseUrl() const;  // "http://127.0.0.1:PORT"
    void setBody(const QString& path, const QByteArray& body, int status = 200);
    QStringList requests() const { return requests_; }  // the paths asked for, in order
    void close() { tcp_.close(); }

private:
    struct Answer {
        QByteArray body;
        int status = 200;
    };
    QTcpServer tcp_;
    QHash<QString, Answer> answers_;
    QStringList requests_;
};
