// whisper-standin: a stand-in for whisper.cpp's `whisper-server`, for tests.
//
// Copy or symlink the executable under the name `whisper-server` and start it
// exactly like the real program:
//
//     whisper-server -m MODEL --host 127.0.0.1 --port PORT -l ja
//
// Like the real server it
//   - exits 3 when MODEL is missing or empty (a model it cannot load), before
//     opening the port, and exits 1 when the port cannot be bound;
//   - answers GET / with 200 text/html, any other path with 404 text/plain;
//   - checks POST /inference: no "file" part, a file that is not a WAV, or a
//     WAV of 44 bytes or fewer gives 400 text/plain "Invalid request"; a
//     "temperature" that is not a number gives 500;
//   - works on one inference request at a time (GET / is answered meanwhile),
//     and drops a request whose client has gone;
//   - exits 0 at once on SIGTERM (unless the script says "countTerm").
// Request bodies must come with Content-Length (no chunked uploads).
//
// Environment:
//   SAYRI_STANDIN_SCRIPT      path of the script file below (optional). Read at
//                             start and again at every accepted /inference
//                             request, so a test may rewrite it between requests.
//   SAYRI_STANDIN_RECORD_DIR  folder that receives a record of every start and
//                             every request (optional; created when missing).
//
// Script: a JSON object, every member optional:
//   {
//     "loadSeconds": 0.5,   seconds before the port opens (model loading)
//     "exitAtStart": 3,     exit with this code instead of opening the port
//     "countTerm": true,    stay on SIGTERM; append a line "TERM" to the file
//                           "signals" in the record folder for each one
//     "replies": [ REPLY, ... ]
//   }
// A bare JSON array is short for {"replies": [...]}. The n-th accepted
// /inference request of this process gets the n-th REPLY; the last one is
// repeated. Without a script every request gets {"text":""}. REPLY:
//   {
//     "text": " こんにちは\n",  reply 200 application/json {"text": "..."} (default "")
//     "status": 503,            the status code (default 200)
//     "body": "not json",       the exact reply body, instead of the JSON
//     "delay": 1.5,             seconds before the reply (default 0)
//     "hang": true,             never reply; wait until the client goes away
//     "exit": 1                 after "delay", exit with this code without replying
//   }
//
// Records (in SAYRI_STANDIN_RECORD_DIR):
//   starts.jsonl    one line per start: {"pid": N, "args": ["-m", MODEL, ...]}
//   signals         one line "TERM" per SIGTERM, with "countTerm"
//   0001/, 0002/ …  one folder per request, numbered in order of arrival (across
//                   restarts of the stand-in), written when the request has been
//                   received in full and before it is answered:
//     head.txt      the request line and header lines exactly as received
//     body.bin      the body exactly as received
//     parts.txt     multipart bodies: one line per part in order, the part's
//                   name, then a tab and the file name for a file part
//     part-NAME     the content of each part (e.g. part-file holds the WAV)
//
// Standard output gets one line per request, e.g.
//   "request 3: POST /inference 320530 bytes, received in 1.20 ms, handled in 0.05 ms, status 200"
// ("handled" runs from the request's last byte to the reply, delays included).

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
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <deque>
#include <utility>
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
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll());
    if (doc.isArray())
        return QJsonObject{{QStringLiteral("replies"), doc.array()}};
    return doc.object();
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
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    int number = 0;            // in order of arrival, from 1
    qint64 receiveNanos = 0;   // first byte to last byte
    QElapsedTimer received;    // started when the last byte arrived

    QByteArray header(const QByteArray& name) const
    {
        for (const auto& [n, v] : headers)
            if (n.compare(name, Qt::CaseInsensitive) == 0)
                return v;
        return {};
    }
};

QByteArray parameter(const QByteArray& headerValue, const QByteArray& name)
{
    for (QByteArray item : headerValue.split(';')) {
        item = item.trimmed();
        if (item.startsWith(name + '=')) {
            QByteArray v = item.mid(name.size() + 1);
            if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"'))
                v = v.mid(1, v.size() - 2);
            return v;
        }
    }
    return {};
}

// Strict multipart/form-data reading; nothing when the body is malformed.
std::optional<QList<Part>> parseForm(const Request& r)
{
    const QByteArray type = r.header("Content-Type");
    if (!type.trimmed().startsWith("multipart/form-data"))
        return std::nullopt;
    const QByteArray boundary = parameter(type, "boundary");
    if (boundary.isEmpty())
        return std::nullopt;
    const QByteArray delimiter = "--" + boundary;
    const QByteArray& b = r.body;
    if (!b.startsWith(delimiter + "\r\n"))
        return std::nullopt;
    QList<Part> parts;
    qsizetype at = delimiter.size() + 2;
    for (;;) {
        const qsizetype headEnd = b.indexOf("\r\n\r\n", at);
        if (headEnd < 0)
            return std::nullopt;
        Part part;
        for (const QByteArray& line : b.mid(at, headEnd - at).split('\n')) {
            const QByteArray l = line.trimmed();
            if (l.toLower().startsWith("content-disposition:")) {
                part.name = parameter(l, "name");
                part.isFile = l.contains("filename=");
                part.fileName = parameter(l, "filename");
            }
        }
        const qsizetype contentStart = headEnd + 4;
        const qsizetype next = b.indexOf("\r\n" + delimiter, contentStart);
        if (next < 0)
            return std::nullopt;
        // Views into the body, which outlives them.
        part.content = QByteArray::fromRawData(b.constData() + contentStart, next - contentStart);
        parts.append(part);
        at = next + 2 + delimiter.size();
        if (b.mid(at) == "--\r\n" || b.mid(at) == "--")
            return parts;
        if (b.mid(at, 2) != "\r\n")
            return std::nullopt;
        at += 2;
    }
}

QString safeName(const QByteArray& name)
{
    QString s = QString::fromUtf8(name);
    for (QChar& c : s)
        if (!(c.isLetterOrNumber() || c == u'_' || c == u'-' || c == u'.'))
            c = u'_';
    return s;
}

void writeFile(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile f(path);
    if (f.open(mode))
        f.write(bytes);
}

void record(const Request& r, const std::optional<QList<Part>>& form)
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
    if (!form)
        return;
    QByteArray list;
    for (const Part& p : *form) {
        list += p.name + (p.isFile ? "\t" + p.fileName : QByteArray()) + '\n';
        writeFile(base + QStringLiteral("part-") + safeName(p.name), p.content);
    }
    writeFile(base + QStringLiteral("parts.txt"), list);
}

QByteArray reason(int status)
{
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
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
        bool busy = false;       // a request is being answered
        bool continued = false;  // "100 Continue" sent for the request being read
        QElapsedTimer firstByte;
        std::optional<Request> reading;  // head received, body still coming
        qsizetype bodyLength = 0;
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
        if (c.buffer.isEmpty() && !c.reading)
            c.firstByte.start();
        c.buffer += s->readAll();
        if (c.busy)
            return;
        if (!c.reading) {
            const qsizetype headEnd = c.buffer.indexOf("\r\n\r\n");
            if (headEnd < 0)
                return;
            c.reading = readHead(c.buffer.left(headEnd + 4));
            c.bodyLength = c.reading->header("Content-Length").toLongLong();
            c.buffer.reserve(headEnd + 4 + c.bodyLength);
        }
        Request& r = *c.reading;
        const qsizetype bodyStart = r.head.size();
        if (c.buffer.size() < bodyStart + c.bodyLength) {
            if (!c.continued && r.header("Expect").compare("100-continue", Qt::CaseInsensitive) == 0)
                s->write("HTTP/1.1 100 Continue\r\n\r\n");
            c.continued = true;
            return;
        }
        if (c.buffer.size() == bodyStart + c.bodyLength) {
            c.buffer.remove(0, bodyStart);
            r.body = std::exchange(c.buffer, QByteArray());
        } else {
            r.body = c.buffer.mid(bodyStart, c.bodyLength);
            c.buffer.remove(0, bodyStart + c.bodyLength);
        }
        r.receiveNanos = c.firstByte.nsecsElapsed();
        r.received.start();
        r.number = ++requestCount_;
        const Request complete = std::move(r);
        c.reading.reset();
        c.busy = true;
        c.continued = false;
        if (!c.buffer.isEmpty())  // the next request has begun
            c.firstByte.start();
        handle(s, complete);
    }

    static Request readHead(const QByteArray& head)
    {
        Request r;
        r.head = head;
        const QList<QByteArray> lines = head.trimmed().split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        r.method = requestLine.value(0);
        r.path = requestLine.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                r.headers.append({lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
        }
        return r;
    }

    void handle(QTcpSocket* s, const Request& r)
    {
        const auto answer = [this, s, &r](int status, const QByteArray& type, const QByteArray& body) {
            send(s, r, status, type, body);
        };

        if (r.path == "/inference" && r.method == "POST") {
            const std::optional<QList<Part>> form = parseForm(r);
            record(r, form);
            const Part* file = nullptr;
            const Part* temperature = nullptr;
            for (const Part& p : form.value_or(QList<Part>{})) {
                if (p.name == "file" && !file)
                    file = &p;
                if (p.name == "temperature")
                    temperature = &p;
            }
            const auto isWav = [](const QByteArray& b) {
                return b.size() > 44 && b.startsWith("RIFF") && b.mid(8, 4) == "WAVE";
            };
            if (!file || !isWav(file->content))
                return answer(400, "text/plain", "Invalid request");
            bool isNumber = true;
            if (temperature)
                temperature->content.toDouble(&isNumber);
            if (!isNumber)
                return answer(500, "text/plain", "Internal Server Error");

            const QJsonArray replies = script().value(QStringLiteral("replies")).toArray();
            const qsizetype index = std::min<qsizetype>(inferenceCount_++, replies.size() - 1);
            queue_.push_back({s, index >= 0 ? replies[index].toObject() : QJsonObject{}, r});
            if (!current_)
                nextInference();
            return;
        }

        record(r, std::nullopt);
        if (r.path == "/" && r.method == "GET")
            return answer(200, "text/html; charset=utf-8",
                          "<!DOCTYPE html><html><head><title>Whisper.cpp Server</title></head>"
                          "<body><h1>whisper-server stand-in</h1></body></html>");
        answer(404, "text/plain", "File Not Found");
    }

    // One inference at a time, like the real server.
    void nextInference()
    {
        current_.reset();
        while (!queue_.empty() && !current_) {
            Inference next = queue_.front();
            queue_.pop_front();
            if (next.socket && next.socket->state() == QAbstractSocket::ConnectedState)
                current_ = next;
        }
        if (!current_)
            return;
        const QJsonObject reply = current_->reply;
        if (reply.value(QStringLiteral("hang")).toBool())
            return;  // until the client goes away
        const int delay = int(reply.value(QStringLiteral("delay")).toDouble() * 1000);
        QTimer::singleShot(delay, this, [this, socket = current_->socket] {
            if (!socket || !current_ || current_->socket != socket)
                return;  // the client went away meanwhile
            const QJsonObject reply = current_->reply;
            if (reply.contains(QStringLiteral("exit"))) {
                say(QStringLiteral("exiting in the middle of a request, as scripted"));
                ::_exit(reply.value(QStringLiteral("exit")).toInt());
            }
            const int status = reply.value(QStringLiteral("status")).toInt(200);
            QByteArray body;
            if (reply.contains(QStringLiteral("body")))
                body = reply.value(QStringLiteral("body")).toString().toUtf8();
            else
                body = QJsonDocument(QJsonObject{{QStringLiteral("text"), reply.value(QStringLiteral("text")).toString()}})
                           .toJson(QJsonDocument::Compact);
            send(socket, current_->request, status, status == 200 ? "application/json" : "text/plain", body);
            nextInference();
        });
    }

    void send(QTcpSocket* s, const Request& r, int status, const QByteArray& type, const QByteArray& body)
    {
        const bool closeAfter = r.header("Connection").compare("close", Qt::CaseInsensitive) == 0;
        QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
        out += "Content-Type: " + type + "\r\n";
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        out += closeAfter ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
        out += "\r\n" + body;
        s->write(out);
        say(QStringLiteral("request %1: %2 %3 %4 bytes, received in %5 ms, handled in %6 ms, status %7")
                .arg(r.number)
                .arg(QString::fromLatin1(r.method), QString::fromLatin1(r.path))
                .arg(r.body.size())
                .arg(double(r.receiveNanos) / 1e6, 0, 'f', 2)
                .arg(double(r.received.nsecsElapsed()) / 1e6, 0, 'f', 2)
                .arg(status));
        if (closeAfter) {
            s->disconnectFromHost();
            return;
        }
        auto it = connections_.find(s);
        if (it == connections_.end())
            return;
        it->busy = false;
        if (!it->buffer.isEmpty())  // the client sent its next request already
            QTimer::singleShot(0, s, [this, s] { readFrom(s); });
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
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const QString value = args.value(i + 1);
        if (a == QStringLiteral("-m") || a == QStringLiteral("--model"))
            model = value;
        else if (a == QStringLiteral("--host"))
            host = value;
        else if (a == QStringLiteral("--port"))
            port = value.toInt();
        else if (a == QStringLiteral("-l") || a == QStringLiteral("--language"))
            ;
        else {
            say(QStringLiteral("error: unknown argument: ") + a, stderr);
            return 2;
        }
        ++i;
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
    const QJsonObject startScript = script();
    if (startScript.contains(QStringLiteral("exitAtStart")))
        return startScript.value(QStringLiteral("exitAtStart")).toInt();
    if (startScript.value(QStringLiteral("countTerm")).toBool() && !recordDir().isEmpty()) {
        signalsFile = qstrdup(QFile::encodeName(recordDir() + QStringLiteral("/signals")).constData());
        std::signal(SIGTERM, [](int) {
            const int fd = ::open(signalsFile, O_WRONLY | O_CREAT | O_APPEND, 0644);
            [[maybe_unused]] ssize_t n = ::write(fd, "TERM\n", 5);
            ::close(fd);
        });
    }

    Server server;
    const int loadMs = int(startScript.value(QStringLiteral("loadSeconds")).toDouble() * 1000);
    QTimer::singleShot(loadMs, &server, [&server, host, port] {
        if (!server.listen(QHostAddress(host), quint16(port))) {
            say(QStringLiteral("error: couldn't bind to server socket: %1:%2 (%3)").arg(host).arg(port).arg(server.error()),
                stderr);
            QCoreApplication::exit(1);
            return;
        }
        say(QStringLiteral("whisper-standin: listening at http://%1:%2").arg(host).arg(port));
    });
    return app.exec();
}
