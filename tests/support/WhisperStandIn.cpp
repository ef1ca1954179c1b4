#include "WhisperStandIn.h"
#include "TestDataFolder.h"

#include "provision/ModelSetup.h"
#include "store/Config.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace {

const char* scriptVariable = "SAYRI_STANDIN_SCRIPT";
const char* recordVariable = "SAYRI_STANDIN_RECORD_DIR";

bool accepts(quint16 port)
{
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    return s.waitForConnected(500);
}

void restore(const char* variable, const QByteArray& value)
{
    if (value.isNull())
        qunsetenv(variable);
    else
        qputenv(variable, value);
}

}  // namespace

QByteArray WhisperStandIn::Recorded::header(const QByteArray& name) const
{
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

WhisperStandIn::WhisperStandIn() : oldScript_(qgetenv(scriptVariable)), oldRecord_(qgetenv(recordVariable))
{
    QFile::link(program(), binary());
    writeFile(model(), QByteArrayLiteral("stand-in model"));
    // Large enough to count as a model; sparse, so it costs no disk.
    QFile(model()).resize(ModelSetup::plausibleModelSize + 1);
    QDir().mkpath(recordDir());
    qputenv(scriptVariable, (dir_.path() + QStringLiteral("/script.json")).toUtf8());
    qputenv(recordVariable, recordDir().toUtf8());
}

WhisperStandIn::~WhisperStandIn()
{
    for (const auto& p : servers_) {
        p->kill();
        p->waitForFinished(2000);
    }
    restore(scriptVariable, oldScript_);
    restore(recordVariable, oldRecord_);
}

QString WhisperStandIn::program()
{
    return QStringLiteral(SAYRI_BIN_DIR "/tests/support/whisper-standin/whisper-standin");
}

quint16 WhisperStandIn::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QString WhisperStandIn::binary() const
{
    return dir_.path() + QStringLiteral("/whisper-server");
}
QString WhisperStandIn::model() const
{
    return dir_.path() + QStringLiteral("/ggml-stand-in.bin");
}
QString WhisperStandIn::recordDir() const
{
    return dir_.path() + QStringLiteral("/record");
}

void WhisperStandIn::configure(quint16 port) const
{
    Config::edit([&](ConfigData& c) {
        c.whisperBinary = binary();
        c.whisperModelPath = model();
        c.whisperPort = port;
    });
}

void WhisperStandIn::setReplies(const QJsonArray& replies) const
{
    setScript(QJsonObject{{QStringLiteral("replies"), replies}});
}

void WhisperStandIn::setScript(const QJsonObject& script) const
{
    writeFile(QString::fromUtf8(qgetenv(scriptVariable)), QJsonDocument(script).toJson());
}

qint64 WhisperStandIn::startServer(quint16 port, bool asWhisperServer)
{
    auto p = std::make_shared<QProcess>();
    p->setProgram(asWhisperServer ? binary() : program());
    p->setArguments({QStringLiteral("-m"), model(), QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                     QStringLiteral("--port"), QString::number(port), QStringLiteral("-l"), QStringLiteral("ja")});
    p->setProcessChannelMode(QProcess::ForwardedChannels);
    p->start();
    if (!p->waitForStarted(5000))
        return 0;
    servers_.append(p);
    return waitListening(port, 10) ? p->processId() : 0;
}

QList<WhisperStandIn::Recorded> WhisperStandIn::requests() const
{
    QList<Recorded> list;
    const QDir root(recordDir());
    for (const QString& name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString base = root.filePath(name) + u'/';
        Recorded r;
        r.head = readFile(base + QStringLiteral("head.txt"));
        const QList<QByteArray> requestLine = r.head.left(r.head.indexOf('\r')).split(' ');
        r.method = requestLine.value(0);
        r.path = requestLine.value(1);
        r.body = readFile(base + QStringLiteral("body.bin"));
        for (const QByteArray& line : readFile(base + QStringLiteral("parts.txt")).split('\n')) {
            if (line.isEmpty())
                continue;
            r.parts << QString::fromUtf8(line);
            const QString partName =
                QString::fromUtf8(line.left(line.indexOf('\t') < 0 ? line.size() : line.indexOf('\t')));
            r.contents[partName] = readFile(base + QStringLiteral("part-") + partName);
        }
        list << r;
    }
    return list;
}

QList<WhisperStandIn::Recorded> WhisperStandIn::inferenceRequests() const
{
    QList<Recorded> list;
    for (const Recorded& r : requests())
        if (r.path == "/inference")
            list << r;
    return list;
}

QList<QJsonObject> WhisperStandIn::starts() const
{
    QList<QJsonObject> list;
    for (const QByteArray& line : readFile(recordDir() + QStringLiteral("/starts.jsonl")).split('\n'))
        if (!line.isEmpty())
            list << QJsonDocument::fromJson(line).object();
    return list;
}

bool WhisperStandIn::waitListening(quint16 port, double seconds)
{
    const QDeadlineTimer deadline(qint64(seconds * 1000));
    while (!accepts(port)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

bool WhisperStandIn::waitClosed(quint16 port, double seconds)
{
    const QDeadlineTimer deadline(qint64(seconds * 1000));
    while (accepts(port)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}
