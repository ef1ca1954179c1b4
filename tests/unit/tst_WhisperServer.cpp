// The recognition server's life: launch, health waits, stop, stray clean-up
// with real processes on loopback (Sayri killed outright: tst_FirstDictation).

#include "OnPipeline.h"
#include "StandInFixture.h"

#include "platform/linux/LinuxProcesses.h"
#include "platform/linux/ProcPortListeners.h"
#include "recognition/WhisperServer.h"
#include "store/Config.h"

#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTest>
#include <QThread>

#include <csignal>

namespace {

LinuxProcesses processes;

// 'R' running, 'Z' dead but not reaped, 0 gone; from /proc.
char stateOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray text = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    const QByteArray state = text.mid(text.lastIndexOf(')') + 2, 1);
    return state.isEmpty() ? 0 : state == "Z" || state == "X" ? 'Z' : 'R';
}

// True once the process is dead (reaped too, when `reaped`).
bool ends(qint64 pid, double seconds, bool reaped = false)
{
    return QTest::qWaitFor([&] { return reaped ? stateOf(pid) == 0 : stateOf(pid) != 'R'; }, int(seconds * 1000));
}

struct Fixture : StandInFixture {
    bool startHealthy(WhisperServer& server, const QString& dictionary = {})
    {
        return onPipeline([&] {
            server.start(dictionary);
            return server.waitHealthy(20);
        });
    }
};

}  // namespace

class TestWhisperServer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsStopsAndAppendsItsOutput()
    {
        Fixture f;
        f.data.writeText(QStringLiteral("whisper-server.log"), QStringLiteral("earlier run\n"));
        WhisperServer server(processes);
        QVERIFY(f.startHealthy(server));
        const QJsonObject start = f.standIn.starts().value(0);
        QCOMPARE(start.value(QStringLiteral("args")).toVariant().toStringList(),
                 (QStringList{QStringLiteral("-m"), f.standIn.model(), QStringLiteral("--host"),
                              QStringLiteral("127.0.0.1"), QStringLiteral("--port"), QString::number(f.port),
                              QStringLiteral("-l"), QStringLiteral("ja")}));
        const qint64 first = server.processId().value_or(0);
        QCOMPARE(start.value(QStringLiteral("pid")).toInteger(), first);
        server.stop();
        QVERIFY(!server.processId());
        QVERIFY2(ends(first, 5, true), "the stopped server is reaped");

        // This one stays on SIGTERM: a stop sends exactly one request, as a
        // second would crash the real server mid-inference.
        f.standIn.setScript(QJsonObject{{QStringLiteral("countTerm"), true}});
        QVERIFY(f.startHealthy(server, QStringLiteral("サイリ、辞書。")));
        const qint64 second = server.processId().value_or(0);
        server.stop();
        server.stop();
        QThread::msleep(500);
        QCOMPARE(readFile(f.standIn.recordDir() + QStringLiteral("/signals")), QByteArray("TERM\n"));
        QCOMPARE(stateOf(second), 'R');
        ::kill(pid_t(second), SIGKILL);
        QVERIFY2(ends(second, 5, true), "a child that ends on its own is reaped");

        QVERIFY(f.log().contains(QStringLiteral("whisper-server 起動（辞書なし・VADなし）")));
        QVERIFY(f.log().contains(QStringLiteral("whisper-server 起動（辞書あり・VADなし）")));
        QVERIFY2(!f.log().contains(QStringLiteral("ポート")), "nothing was listening before either start");
        const QString output = f.data.readText(QStringLiteral("whisper-server.log"));
        QVERIFY(output.startsWith(QStringLiteral("earlier run\n")));
        QCOMPARE(output.count(QStringLiteral("listening at http://127.0.0.1:%1").arg(f.port)), 2);
    }

    void launchFailuresAreLoggedAndLeaveNoProcess()
    {
        Fixture f;
        const QString garbage = f.data.file(QStringLiteral("not-a-program"));
        f.data.writeText(QStringLiteral("not-a-program"), QStringLiteral("no program here\n"));
        QFile::setPermissions(garbage, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString missingModel = f.data.file(QStringLiteral("missing.bin"));
        WhisperServer server(processes);
        for (const auto& [binary, model] :
             {std::pair{QStringLiteral("/nonexistent/whisper-server"), f.standIn.model()},
              std::pair{f.standIn.binary(), missingModel}, std::pair{garbage, f.standIn.model()}}) {
            Config::edit([binary = binary, model = model](ConfigData& c) {
                c.whisperBinary = binary;
                c.whisperModelPath = model;
            });
            onPipeline([&] {
                server.start({});
                return 0;
            });
            QVERIFY(!server.processId());
        }
        QVERIFY(f.standIn.starts().isEmpty());
        QVERIFY(f.log().contains(QStringLiteral("whisper-server が見つかりません: /nonexistent/whisper-server\n")));
        QVERIFY(f.log().contains(QStringLiteral("Whisperモデルが見つかりません: ") + missingModel));
        QVERIFY(f.log().contains(QStringLiteral("whisper-server の起動に失敗: Exec format error")));
        QVERIFY(!f.log().contains(QStringLiteral("whisper-server 起動（")));

        // The configured program is gone: the one the setup finds on PATH is launched.
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFileInfo(f.standIn.binary()).path().toUtf8());
        Config::edit([&](ConfigData& c) {
            c.whisperBinary = QStringLiteral("/nonexistent/whisper-server");
            c.whisperModelPath = f.standIn.model();
        });
        QVERIFY(f.startHealthy(server));
        server.stop();
        qputenv("PATH", oldPath);
    }

    // A stand-in named whisper-server on the port is a stray of Sayri's and is
    // ended; any other program is left alone and the new server cannot bind.
    void busyPort_data()
    {
        QTest::addColumn<bool>("stray");
        QTest::newRow("stray whisper-server") << true;
        QTest::newRow("another program") << false;
    }
    void busyPort()
    {
        QFETCH(bool, stray);
        Fixture f;
        const qint64 other = f.standIn.startServer(f.port, stray);
        QVERIFY(other > 0);
        WhisperServer server(processes);
        // Health is asked only when there is time for an answer.
        QVERIFY(!onPipeline([&] { return server.waitHealthy(0) || server.waitHealthy(0.4); }));
        QVERIFY(f.standIn.requests().isEmpty());
        QVERIFY(onPipeline([&] { return server.waitHealthy(1); }));
        QCOMPARE(f.standIn.requests().value(0).path, QByteArray("/"));

        QTcpServer elsewhere;  // a socket of this process on another port is not counted
        QVERIFY(elsewhere.listen(QHostAddress::LocalHost));
        const QList<PortListener> listeners = PortListeners::find(f.port);
        QVERIFY(listeners.size() == 1 && listeners[0].pid == other);
        QCOMPARE(onPipeline([&] {
                     server.start({});
                     return stray && server.waitHealthy(20);
                 }),
                 stray);
        const qint64 launched = server.processId().value_or(0);
        QVERIFY(ends(stray ? other : launched, 10, !stray));
        QCOMPARE(stateOf(stray ? launched : other), 'R');
        QCOMPARE(f.standIn.starts().last().value(QStringLiteral("pid")).toInteger(), launched);
        const QString cleaned = QStringLiteral("ポート%1の古い認識サーバーを片付けました").arg(f.port);
        const QString leftAlone =
            QStringLiteral(
                "ポート%1を使っている whisper-standin（PID %2）はサイリの認識サーバーではないため、そのままにします")
                .arg(f.port)
                .arg(other);
        QCOMPARE(f.log().contains(cleaned), stray);
        QCOMPARE(f.log().contains(leftAlone), !stray);
        server.stop();
    }
};

QTEST_GUILESS_MAIN(TestWhisperServer)
#include "tst_WhisperServer.moc"
