// The recognition server's life: launch, health waits, stop, stray clean-up
// and the child's end with Sayri, with real processes on loopback.

#include "OnPipeline.h"
#include "TestDataFolder.h"
#include "WhisperStandIn.h"

#include "recognition/WhisperServer.h"
#include "store/Config.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <thread>
#include <sys/prctl.h>
#include <sys/wait.h>

namespace {

// "running", "zombie" or "gone", from /proc.
QString stateOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return QStringLiteral("gone");
    const QByteArray text = stat.readAll();
    const QByteArray state = text.mid(text.lastIndexOf(')') + 2, 1);
    if (state.isEmpty())  // vanished while being read
        return QStringLiteral("gone");
    return state == "Z" || state == "X" ? QStringLiteral("zombie") : QStringLiteral("running");
}

bool becomes(qint64 pid, const QString& state, double seconds)
{
    for (int i = 0; i < seconds * 50; ++i) {
        if (stateOf(pid) == state)
            return true;
        QThread::msleep(20);
    }
    return stateOf(pid) == state;
}

// Dead: gone, or a zombie waiting for whatever adopted it.
bool ends(qint64 pid, double seconds)
{
    for (int i = 0; i < seconds * 50 && stateOf(pid) == QStringLiteral("running"); ++i)
        QThread::msleep(20);
    return stateOf(pid) != QStringLiteral("running");
}

// Runs as a separate process: launches the server the way Sayri does and
// prints its pid, then waits to be killed.
int runAsParent(const QStringList& args)
{
    Config::edit([&](ConfigData& c) {
        c.whisperBinary = args[0];
        c.whisperModelPath = args[1];
        c.whisperPort = args[2].toInt();
    });
    WhisperServer server;
    const qint64 pid = onPipeline([&] {
        server.start({});
        return server.processId().value_or(0);
    });
    std::printf("%lld\n", pid);
    std::fflush(stdout);
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
}

}  // namespace

class TestWhisperServer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsWithTheExactCommandLineAndAppendsItsOutput()
    {
        TestDataFolder data;
        QDir().mkpath(data.path());
        WhisperStandIn standIn;
        const quint16 port = WhisperStandIn::freePort();
        standIn.configure(port);
        data.writeText(QStringLiteral("whisper-server.log"), QStringLiteral("earlier run\n"));

        WhisperServer server;
        QVERIFY(onPipeline([&] {
            server.start({});
            return server.waitHealthy(20);
        }));
        const QList<QJsonObject> starts = standIn.starts();
        QCOMPARE(starts.size(), 1);
        const QStringList expected{QStringLiteral("-m"), standIn.model(), QStringLiteral("--host"),
                                   QStringLiteral("127.0.0.1"), QStringLiteral("--port"), QString::number(port),
                                   QStringLiteral("-l"), QStringLiteral("ja")};
        QCOMPARE(starts[0].value(QStringLiteral("args")).toVariant().toStringList(), expected);
        const qint64 first = server.processId().value_or(0);
        QCOMPARE(starts[0].value(QStringLiteral("pid")).toInteger(), first);

        server.stop();
        QVERIFY(!server.processId());
        QVERIFY2(becomes(first, QStringLiteral("gone"), 5), "the stopped server is reaped");

        QVERIFY(onPipeline([&] {
            server.start(QStringLiteral("サイリ、辞書。"));
            return server.waitHealthy(20);
        }));
        server.stop();

        const QString log = data.readText(QStringLiteral("sayri.log"));
        QVERIFY(log.contains(QStringLiteral("whisper-server 起動（辞書なし・VADなし）")));
        QVERIFY(log.contains(QStringLiteral("whisper-server 起動（辞書あり・VADなし）")));
        QVERIFY2(!log.contains(QStringLiteral("片付け")), "nothing was listening before either start");
        const QString output = data.readText(QStringLiteral("whisper-server.log"));
        QVERIFY(output.startsWith(QStringLiteral("earlier run\n")));
        QCOMPARE(output.count(QStringLiteral("listening at http://127.0.0.1:%1").arg(port)), 2);
    }

    void launchFailuresAreLoggedAndLeaveNoProcess()
    {
        TestDataFolder data;
        QDir().mkpath(data.path());
        WhisperStandIn standIn;
        standIn.configure(WhisperStandIn::freePort());
        WhisperServer server;

        Config::edit([](ConfigData& c) { c.whisperBinary = QStringLiteral("/nonexistent/whisper-server"); });
        onPipeline([&] { server.start({}); return 0; });
        Config::edit([&](ConfigData& c) {
            c.whisperBinary = standIn.binary();
            c.whisperModelPath = data.file(QStringLiteral("missing.bin"));
        });
        onPipeline([&] { server.start({}); return 0; });
        const QString garbage = data.file(QStringLiteral("not-a-program"));
        data.writeText(QStringLiteral("not-a-program"), QStringLiteral("no program here\n"));
        QFile::setPermissions(garbage, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        Config::edit([&](ConfigData& c) {
            c.whisperBinary = garbage;
            c.whisperModelPath = standIn.model();
        });
        onPipeline([&] { server.start({}); return 0; });

        QVERIFY(!server.processId());
        QVERIFY(standIn.starts().isEmpty());
        const QString log = data.readText(QStringLiteral("sayri.log"));
        QVERIFY(log.contains(QStringLiteral("whisper-server が見つかりません: /nonexistent/whisper-server\n")));
        QVERIFY(log.contains(QStringLiteral("Whisperモデルが見つかりません: ") + data.file(QStringLiteral("missing.bin"))));
        QVERIFY(log.contains(QStringLiteral("whisper-server の起動に失敗: Exec format error")));
        QVERIFY(!log.contains(QStringLiteral("whisper-server 起動（")));
    }

    void stopSendsOneTerminationRequest()
    {
        TestDataFolder data;
        QDir().mkpath(data.path());
        WhisperStandIn standIn;
        standIn.configure(WhisperStandIn::freePort());
        standIn.setScript(QJsonObject{{QStringLiteral("countTerm"), true}});

        WhisperServer server;
        QVERIFY(onPipeline([&] {
            server.start({});
            return server.waitHealthy(20);
        }));
        const qint64 pid = server.processId().value_or(0);
        server.stop();
        server.stop();  // nothing left to stop
        QVERIFY(!server.processId());
        QThread::msleep(500);
        QFile signalsFile(standIn.recordDir() + QStringLiteral("/signals"));
        QVERIFY(signalsFile.open(QIODevice::ReadOnly));
        QCOMPARE(signalsFile.readAll(), QByteArray("TERM\n"));
        QCOMPARE(stateOf(pid), QStringLiteral("running"));

        ::kill(pid_t(pid), SIGKILL);
        QVERIFY2(becomes(pid, QStringLiteral("gone"), 5), "a child that ends on its own is reaped");
    }

    void waitHealthyAsksOnlyWhenGivenTime()
    {
        TestDataFolder data;
        QDir().mkpath(data.path());
        WhisperStandIn standIn;
        const quint16 port = WhisperStandIn::freePort();
        standIn.configure(port);
        QVERIFY(standIn.startServer(port) > 0);

        WhisperServer server;
        QVERIFY(!onPipeline([&] { return server.waitHealthy(0); }));
        QVERIFY(!onPipeline([&] { return server.waitHealthy(0.4); }));
        QVERIFY(standIn.requests().isEmpty());
        QVERIFY(onPipeline([&] { return server.waitHealthy(1); }));
        QCOMPARE(standIn.requests().size(), 1);
        QCOMPARE(standIn.requests()[0].path, QByteArray("/"));
    }

    void strayWhisperServerIsEnded()
    {
        TestDataFolder data;
        QDir().mkpath(data.path());
        WhisperStandIn standIn;
        const quint16 port = WhisperStandIn::freePort();
        standIn.configure(port);
        const qint64 stray = standIn.startServer(port, true);
        QVERIFY(stray > 0);

        WhisperServer server;
        QVERIFY(onPipeline([&] {
            server.start({});
            return server.waitHealthy(20);
        }));
        QVERIFY(ends(stray, 5));
        QVERIFY(server.processId() && *server.processId() != stray);
        QCOMPARE(standIn.starts().last().value(QStringLiteral("pid")).toInteger(), *server.processId());
        QVERIFY(data.readText(QStringLiteral("sayri.log"))
                    .contains(QStringLiteral("ポート%1の古い認識サーバーを片付けました").arg(port)));
        server.stop();
    }

    void anotherProgramOnThePortIsLeftAlone()
    {
        TestDataFolder data;
        QDir().mkpath(data.path());
        WhisperStandIn standIn;
        const quint16 port = WhisperStandIn::freePort();
        standIn.configure(port);
        const qint64 other = standIn.startServer(port, false);
        QVERIFY(other > 0);

        WhisperServer server;
        onPipeline([&] { server.start({}); return 0; });
        const qint64 launched = server.processId().value_or(0);
        QVERIFY(launched > 0);
        // The new server cannot bind the busy port and ends by itself.
        QVERIFY(becomes(launched, QStringLiteral("gone"), 10));
        QCOMPARE(stateOf(other), QStringLiteral("running"));
        const QString log = data.readText(QStringLiteral("sayri.log"));
        QVERIFY(log.contains(QStringLiteral("ポート%1を使っている whisper-standin（PID %2）はサイリの認識サーバーではないため、そのままにします")
                                 .arg(port)
                                 .arg(other)));
        QVERIFY(!log.contains(QStringLiteral("片付けました")));
    }

    void serverEndsWhenSayriIsKilled()
    {
        TestDataFolder data;
        QDir().mkpath(data.path());
        WhisperStandIn standIn;
        const quint16 port = WhisperStandIn::freePort();

        QProcess parent;
        parent.setProgram(QCoreApplication::applicationFilePath());
        parent.setArguments({QStringLiteral("--as-parent"), standIn.binary(), standIn.model(), QString::number(port)});
        parent.start();
        QVERIFY(parent.waitForStarted(5000));
        QVERIFY(parent.waitForReadyRead(10000));
        const qint64 child = parent.readLine().trimmed().toLongLong();
        QVERIFY(child > 0);
        QVERIFY(WhisperStandIn::waitListening(port, 10));

        parent.kill();
        QVERIFY(parent.waitForFinished(5000));
        QVERIFY(ends(child, 5));
        ::waitpid(pid_t(child), nullptr, WNOHANG);  // adopted by this process (see main)
        QVERIFY(WhisperStandIn::waitClosed(port, 5));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == QStringLiteral("--as-parent"))
        return runAsParent(args.mid(2));
    // Servers orphaned by the killed parent come to this process, which reaps
    // them, instead of to an init that may not.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    TestWhisperServer test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_WhisperServer.moc"
