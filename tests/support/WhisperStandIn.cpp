#include "WhisperStandIn.h"
#include "TestDataFolder.h"

#include "provision/ModelSetup.h"
#include "store/Config.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

const char* scriptVariable = "SAYRI_STANDIN_SCRIPT";
const char* recordVariable = "SAYRI_STANDIN_RECORD_DIR";

const QString program = QStringLiteral(SAYRI_BIN_DIR "/tests/support/whisper-standin/whisper-standin");

}  // namespace

WhisperStandIn::WhisperStandIn() : oldScript_(qgetenv(scriptVariable)), oldRecord_(qgetenv(recordVariable))
{
    QFile::link(program, binary());
    writeFile(model(), QByteArrayLiteral("stand-in model"));
    // Large enough to count as a model; sparse, so it costs no disk.
    QFile(model()).resize(ModelSetup::plausibleModelSize + 1);
    qputenv(scriptVariable, (dir_.path() + QStringLiteral("/script.json")).toUtf8());
    qputenv(recordVariable, recordDir().toUtf8());
}

WhisperStandIn::~WhisperStandIn()
{
    for (const auto& p : servers_) {
        p->kill();
        p->waitForFinished(2000);
    }
    restoreVariable(scriptVariable, oldScript_);
    restoreVariable(recordVariable, oldRecord_);
}

quint16 WhisperStandIn::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

void WhisperStandIn::configure(quint16 port) const
{
    Config::edit([&](ConfigData& c) {
        c.whisperBinary = binary();
        c.whisperModelPath = model();
        c.whisperPort = port;
    });
}

void WhisperStandIn::setScript(const QJsonObject& script) const
{
    writeFile(QString::fromUtf8(qgetenv(scriptVariable)), QJsonDocument(script).toJson());
}

qint64 WhisperStandIn::startServer(quint16 port, bool asWhisperServer)
{
    auto p = std::make_shared<QProcess>();
    p->setProgram(asWhisperServer ? binary() : program);
    p->setArguments({QStringLiteral("-m"), model(), QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                     QStringLiteral("--port"), QString::number(port), QStringLiteral("-l"), QStringLiteral("ja")});
    p->setProcessChannelMode(QProcess::ForwardedChannels);
    p->start();
    if (!p->waitForStarted(5000))
        return 0;
    servers_.append(p);
    const auto answers = [port] {
        QTcpSocket s;
        s.connectToHost(QStringLiteral("127.0.0.1"), port);
        return s.waitForConnected(500);
    };
    return QTest::qWaitFor(answers, 10000) ? p->processId() : 0;
}

QList<WhisperStandIn::Recorded> WhisperStandIn::requests() const
{
    QList<Recorded> list;
    const QDir root(recordDir());
    for (const QString& name : root.entryList({QStringLiteral("????.json")}, QDir::Files, QDir::Name)) {
        const QJsonObject o = QJsonDocument::fromJson(readFile(root.filePath(name))).object();
        if (o.isEmpty())
            continue;  // still being written
        Recorded r{o[u"path"].toString().toUtf8(),
                   QByteArray::fromBase64(o[u"body"].toString().toLatin1()),
                   {},
                   o[u"headers"].toObject().toVariantMap()};
        const QJsonObject parts = o[u"parts"].toObject();
        for (auto it = parts.begin(); it != parts.end(); ++it)
            r.contents[it.key()] = QByteArray::fromBase64(it.value().toString().toLatin1());
        list << r;
    }
    return list;
}

QList<WhisperStandIn::Recorded> WhisperStandIn::inferenceRequests() const
{
    QList<Recorded> list = requests();
    list.removeIf([](const Recorded& r) { return r.path != "/inference"; });
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
