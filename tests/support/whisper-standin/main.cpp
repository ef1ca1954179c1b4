// whisper-standin: a stand-in for whisper.cpp's `whisper-server`, for tests.
// Symlink it as `whisper-server` and start it like the real program:
//
//     whisper-server -m MODEL --host 127.0.0.1 --port PORT -l ja
//
// Like the real server it exits 3 when MODEL is missing or empty (before
// opening the port) and 1 when the port cannot be bound; answers GET / with
// 200 text/html and other paths with 404; answers POST /inference without a
// "file" part holding a WAV of more than 44 bytes with 400 "Invalid request";
// works on one inference request at a time, dropping one whose client has
// gone; exits 0 at once on SIGTERM (unless the script says "countTerm").
// It closes every connection after its reply and needs Content-Length.
//
// Environment:
//   SAYRI_STANDIN_SCRIPT      the script file (optional), read at start and at
//                             every /inference request, so a test may rewrite it.
//   SAYRI_STANDIN_RECORD_DIR  folder for the records below (optional).
//
// Script, every member optional:
//   {"countTerm": true,      stay on SIGTERM; append "TERM" to the record
//                            folder's file "signals" for each one
//    "replies": [REPLY, ...]}
// The n-th /inference request of this process gets the n-th REPLY, the last
// one repeated; without one it gets {"text":""}. REPLY, every member optional:
//   {"text": " こんにちは\n",  reply 200 application/json {"text": "..."}
//    "status": 503,            another status code
//    "body": "not json",       this exact body instead of the JSON
//    "hang": true,             no reply; wait until the client goes away
//    "exit": 1}                exit with this code instead of replying
//
// Records:
//   starts.jsonl    one line per start: {"pid": N, "args": ["-m", MODEL, ...]}
//   0001/, 0002/ …  one folder per request in order of arrival (across
//                   restarts), written before the request is answered:
//     head.txt      the request line and header lines exactly as received
//     body.bin      the body exactly as received
//     parts.txt     multipart bodies: one line per part, its name, then a tab
//                   and the file name for a file part
//     part-NAME     each part's content (part-file holds the WAV)
//
// Standard output gets one line per answered request, e.g. "request 3: POST
// /inference 320530 bytes, received in 1.20 ms, handled in 0.05 ms, status 200"
// (first to last byte of the request, then last byte to the reply).

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>
#include <cstdio>
#include <deque>
#include <optional>
#include <fcntl.h>
#include <unistd.h>

namespace {

const char* signalsFile = nullptr;  // where SIGTERMs are counted, when they are

void say(const QString& line, FILE* to = stdout)
{
    std::fprintf(to, "%s\n", line.toLocal8Bit().constData());
    std::fflush(to);
}

QString recordDir()
{
    return qEnvironmentVariable("SAYRI_STANDIN_RECORD_DIR");
}

QJsonObject script()
{
    QFile f(qEnvironmentVariable("SAYRI_STANDIN_SCRIPT"));
    if (f.fileName().isEmpty() || !f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

void writeFile(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile f(path);
    if (f.open(mode))
        f.write(bytes);
}

struct Part {
    QByteArray name;
    QByteArray fileName;
    bool isFile = false;
    QByteArray content;
};

struct Request {
    QByteArray head;  // as received, through the blank line
    QByteArray method;
    QByteArray path;
    QByteArray body;
    int number = 0;            // in order of arrival, from 1
    qint64 receiveNanos = 0;   // first byte to last byte
    QElapsedTimer received;    // started when the last byte arrived

    QByteArray header(const QByteArray& name) const
    {
        for (const QByteArray& line : head.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
                return line.mid(colon + 1).trimmed();
        }
        return {};
    }
};

// A parameter of a header line, e.g. name="file" in a Content-Disposition.
QByteArray parameter(const QByteArray& line, const QByteArray& name)
{
    for (const QByteArray& item : line.split(';'))
        if (item.trimmed().startsWith(name + '='))
            return item.trimmed().mid(name.size() + 1).replace('"', "");
    return {};
}

// The parts of a multipart/form-data body, as far as it is well formed.
QList<Part> parseForm(const Request& r)
{
    const QByteArray type = r.header("Content-Type");
    const QByteArray& b = r.body;
    const QByteArray delimiter = "\r\n--" + parameter(type, "boundary");
    QList<Part> parts;
    if (!type.startsWith("multipart/form-data") || delimiter.size() == 4 || !b.startsWith(delimiter.mid(2)))
        return parts;
    for (qsizetype at = delimiter.size() - 2; b.mid(at, 2) == "\r\n";) {
        const qsizetype headEnd = b.indexOf("\r\n\r\n", at);
        const qsizetype next = headEnd < 0 ? -1 : b.indexOf(delimiter, headEnd);
        if (next < 0)
            break;
        QByteArray head;  // the part's Content-Disposition line
        for (const QByteArray& line : b.mid(at, headEnd - at).split('\n'))
            if (line.trimmed().toLower().startsWith("content-disposition:"))
                head = line.trimmed();
        // A view into the body, which outlives it.
        parts.append({parameter(head, "name"), parameter(head, "filename"), head.contains("filename="),
                      QByteArray::fromRawData(b.constData() + headEnd + 4, next - headEnd - 4)});
        at = next + delimiter.size();
    }
    return parts;
}

void record(const Request& r, const QList<Part>& form = {})
{
    const QString root = recordDir();
    if (root.isEmpty())
        return;
    QDir().mkpath(root);
    int n = 1;
    QString folder;
    // mkdir is the claim: never two requests in one folder, even across restarts.
    while (!QDir(root).mkdir(folder = QString::asprintf("%04d", n)))
        ++n;
    const QString base = root + u'/' + folder + u'/';
    writeFile(base + QStringLiteral("head.txt"), r.head);
    writeFile(base + QStringLiteral("body.bin"), r.body);
    if (form.isEmpty())
        return;
    QByteArray list;
    for (const Part& p : form) {
        list += p.name + (p.isFile ? "\t" + p.fileName : QByteArray()) + '\n';
        QString name = QString::fromUtf8(p.name);
        for (QChar& c : name)
            if (!(c.isLetterOrNumber() || c == u'_' || c == u'-' || c == u'.'))
                c = u'_';
        writeFile(base + QStringLiteral("part-") + name, p.content);
    }
    writeFile(base + QStringLiteral("parts.txt"), list);
}

class Server : public QObject {
public:
    bool listen(const QHostAddress& host, quint16 port)
    {
        connect(&tcp_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = tcp_.nextPendingConnection())
                adopt(s);
        });
        return tcp_.listen(host, port);
    }
    QString error() const { return tcp_.errorString(); }

private:
    struct Connection {
        QByteArray buffer;
        QElapsedTimer firstByte;
        bool complete = false;  // its one request has been read
    };
    struct Inference {
        QPointer<QTcpSocket> socket;
        QJsonObject reply;
        Request request;
    };

    void adopt(QTcpSocket* s)
    {
        connections_[s] = {};
        connect(s, &QTcpSocket::readyRead, this, [this, s] { readFrom(s); });
        connect(s, &QTcpSocket::disconnected, this, [this, s] {
            connections_.remove(s);
            s->deleteLater();
            if (current_ && current_->socket == s)
                nextInference();
        });
    }

    void readFrom(QTcpSocket* s)
    {
        Connection& c = connections_[s];
        if (c.complete)
            return (void)s->readAll();
        if (c.buffer.isEmpty())
            c.firstByte.start();
        c.buffer += s->readAll();
        const qsizetype headEnd = c.buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        Request r;
        r.head = c.buffer.left(headEnd + 4);
        const qsizetype length = r.header("Content-Length").toLongLong();
        c.buffer.reserve(r.head.size() + length);
        if (c.buffer.size() < r.head.size() + length)
            return;
        c.complete = true;
        c.buffer.remove(0, r.head.size());
        c.buffer.truncate(length);
        r.body = std::exchange(c.buffer, QByteArray());
        r.receiveNanos = c.firstByte.nsecsElapsed();
        r.received.start();
        r.number = ++requestCount_;
        const QList<QByteArray> requestLine = r.head.left(r.head.indexOf('\r')).split(' ');
        r.method = requestLine.value(0);
        r.path = requestLine.value(1);
        handle(s, r);
    }

    void handle(QTcpSocket* s, const Request& r)
    {
        if (r.path == "/inference" && r.method == "POST") {
            const QList<Part> form = parseForm(r);
            record(r, form);
            QByteArray wav;
            for (const Part& p : form) {
                if (p.name == "file") {
                    wav = p.content;
                    break;
                }
            }
            if (wav.size() <= 44 || !wav.startsWith("RIFF") || wav.mid(8, 4) != "WAVE")
                return send(s, r, 400, "text/plain", "Invalid request");

            const QJsonArray replies = script().value(QStringLiteral("replies")).toArray();
            const qsizetype index = std::min<qsizetype>(inferenceCount_++, replies.size() - 1);
            queue_.push_back({s, index >= 0 ? replies[index].toObject() : QJsonObject{}, r});
            if (!current_)
                nextInference();
            return;
        }
        record(r);
        if (r.path == "/" && r.method == "GET")
            return send(s, r, 200, "text/html; charset=utf-8",
                        "<!DOCTYPE html><html><head><title>Whisper.cpp Server</title></head>"
                        "<body><h1>whisper-server stand-in</h1></body></html>");
        send(s, r, 404, "text/plain", "File Not Found");
    }

    // One inference at a time, like the real server: a hanging one holds the
    // rest back until its client goes away.
    void nextInference()
    {
        current_.reset();
        while (!queue_.empty()) {
            Inference next = queue_.front();
            queue_.pop_front();
            if (!next.socket || next.socket->state() != QAbstractSocket::ConnectedState)
                continue;  // its client has gone
            const QJsonObject& reply = next.reply;
            if (reply.value(QStringLiteral("hang")).toBool()) {
                current_ = next;
                return;
            }
            if (reply.contains(QStringLiteral("exit"))) {
                say(QStringLiteral("exiting in the middle of a request, as scripted"));
                ::_exit(reply.value(QStringLiteral("exit")).toInt());
            }
            const int status = reply.value(QStringLiteral("status")).toInt(200);
            const QByteArray body = reply.contains(QStringLiteral("body"))
                ? reply.value(QStringLiteral("body")).toString().toUtf8()
                : QJsonDocument(QJsonObject{{QStringLiteral("text"), reply.value(QStringLiteral("text")).toString()}})
                      .toJson(QJsonDocument::Compact);
            send(next.socket, next.request, status, status == 200 ? "application/json" : "text/plain", body);
        }
    }

    void send(QTcpSocket* s, const Request& r, int status, const QByteArray& type, const QByteArray& body)
    {
        static const QHash<int, QByteArray> reasons{
            {200, "OK"}, {400, "Bad Request"}, {404, "Not Found"}, {503, "Service Unavailable"}};
        s->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reasons.value(status, "Status") + "\r\n" +
                 "Content-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size()) +
                 "\r\nConnection: close\r\n\r\n" + body);
        say(QStringLiteral("request %1: %2 %3 %4 bytes, received in %5 ms, handled in %6 ms, status %7")
                .arg(r.number)
                .arg(QString::fromLatin1(r.method), QString::fromLatin1(r.path))
                .arg(r.body.size())
                .arg(double(r.receiveNanos) / 1e6, 0, 'f', 2)
                .arg(double(r.received.nsecsElapsed()) / 1e6, 0, 'f', 2)
                .arg(status));
        s->disconnectFromHost();
    }

    QTcpServer tcp_;
    QHash<QTcpSocket*, Connection> connections_;
    std::deque<Inference> queue_;
    std::optional<Inference> current_;
    int requestCount_ = 0;
    int inferenceCount_ = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    std::signal(SIGTERM, [](int) { ::_exit(0); });
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);

    QString model = QStringLiteral("models/ggml-base.en.bin");
    QString host = QStringLiteral("127.0.0.1");
    int port = 8080;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); i += 2) {
        const QString& a = args[i];
        if (a == QStringLiteral("-m") || a == QStringLiteral("--model"))
            model = args.value(i + 1);
        else if (a == QStringLiteral("--host"))
            host = args.value(i + 1);
        else if (a == QStringLiteral("--port"))
            port = args.value(i + 1).toInt();
        else if (a != QStringLiteral("-l") && a != QStringLiteral("--language")) {
            say(QStringLiteral("error: unknown argument: ") + a, stderr);
            return 2;
        }
    }

    if (!recordDir().isEmpty()) {
        QDir().mkpath(recordDir());
        const QJsonObject start{{QStringLiteral("pid"), qint64(::getpid())},
                                {QStringLiteral("args"), QJsonArray::fromStringList(args)}};
        writeFile(recordDir() + QStringLiteral("/starts.jsonl"),
                  QJsonDocument(start).toJson(QJsonDocument::Compact) + '\n',
                  QIODevice::WriteOnly | QIODevice::Append);
    }

    say(QStringLiteral("whisper-standin: loading model '%1'").arg(model));
    const QFileInfo modelFile(model);
    if (!modelFile.isFile() || modelFile.size() == 0) {
        say(QStringLiteral("error: failed to load model '%1'").arg(model), stderr);
        return 3;
    }
    if (script().value(QStringLiteral("countTerm")).toBool() && !recordDir().isEmpty()) {
        signalsFile = qstrdup(QFile::encodeName(recordDir() + QStringLiteral("/signals")).constData());
        std::signal(SIGTERM, [](int) {
            const int fd = ::open(signalsFile, O_WRONLY | O_CREAT | O_APPEND, 0644);
            [[maybe_unused]] ssize_t n = ::write(fd, "TERM\n", 5);
            ::close(fd);
        });
    }

    Server server;
    if (!server.listen(QHostAddress(host), quint16(port))) {
        say(QStringLiteral("error: couldn't bind to server socket: %1:%2 (%3)").arg(host).arg(port).arg(server.error()),
            stderr);
        return 1;
    }
    say(QStringLiteral("whisper-standin: listening at http://%1:%2").arg(host).arg(port));
    return app.exec();
}
