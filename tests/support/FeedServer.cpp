#include "FeedServer.h"

#include <QTcpSocket>

FeedServer::FeedServer()
{
    tcp_.listen(QHostAddress::LocalHost, 0);
    connect(&tcp_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = tcp_.nextPendingConnection()) {
            auto* buffer = new QByteArray;
            connect(socket, &QTcpSocket::disconnected, socket, [socket, buffer] {
                delete buffer;
                socket->deleteLater();
            });
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                *buffer += socket->readAll();
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                const QList<QByteArray> requestLine = buffer->left(buffer->indexOf("\r\n")).split(' ');
                buffer->clear();
                const QString path = requestLine.size() > 1 ? QString::fromLatin1(requestLine.at(1)) : QString();
                requests_ << path;
                const Answer answer = answers_.value(path, Answer{"not found", 404});
                QByteArray reply = "HTTP/1.1 " + QByteArray::number(answer.status) + " X\r\n"
                                 + "Content-Type: application/xml\r\n"
                                 + "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n"
                                 + "Connection: close\r\n\r\n" + answer.body;
                socket->write(reply);
                socket->disconnectFromHost();
            });
        }
    });
}

QString FeedServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(tcp_.serverPort());
}

void FeedServer::setBody(const QString& path, const QByteArray& body, int status)
{
    answers_[path] = Answer{body, status};
}
