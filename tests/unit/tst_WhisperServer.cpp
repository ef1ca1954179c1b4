// The recognition server against the whisper-server stand-in on loopback,
// with real processes: its life (launch, health waits, stop, stray clean-up;
// Sayri killed outright: tst_FirstDictation), then one recording to text (the
// form on the wire, the replies and the failures, the blocking HTTP calls).

#include "StandInFixture.h"

#include "audio/AudioRecorder.h"
#include "platform/linux/LinuxProcesses.h"
#include "platform/linux/ProcPortListeners.h"
#include "recognition/HTTP.h"
#include "recognition/Inference.h"
#include "recognition/WhisperServer.h"
#include "store/Config.h"
#include "store/Dictionary.h"
#include "support/SerialQueue.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTest>
#include <QThread>

#include <csignal>
#include <future>

namespace {

LinuxProcesses processes;

// Runs `work` on a worker thread without a Qt event loop, as Sayri's pipeline
// queue does, and waits for its result.
template <class Work> auto onPipeline(Work work)
{
    static SerialQueue queue(QStringLiteral("sayri.pipeline"));
    std::packaged_task<decltype(work())()> task(std::move(work));
    auto result = task.get_future();
    queue.async([&task] { task(); });
    return result.get();
}

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

QByteArray wavOfSeconds(double seconds)
{
    QByteArray pcm(qsizetype(seconds * 32000), Qt::Uninitialized);
    for (qsizetype i = 0; i < pcm.size(); ++i)
        pcm[i] = char((i * 7919) >> 3);
    return AudioRecorder::wav(pcm, 16000, 1);
}

// The form as the real server expects it, written out by hand.
QByteArray expectedForm(const QByteArray& wav, const QString& prompt, const QByteArray& b)
{
    const auto part = [&b](const QByteArray& disposition, const QByteArray& content) {
        return "--" + b + "\r\nContent-Disposition: form-data; " + disposition + "\r\n\r\n" + content + "\r\n";
    };
    QByteArray f = part("name=\"file\"; filename=\"rec.wav\"\r\nContent-Type: audio/wav", wav)
                   + part("name=\"response_format\"", "json") + part("name=\"temperature\"", "0.0");
    if (!prompt.isEmpty())
        f += part("name=\"prompt\"", prompt.toUtf8());
    return f + "--" + b + "--\r\n";
}

HTTP::Response post(quint16 port, const QByteArray& form, double timeout = 0.5)
{
    return onPipeline([&] {
        HTTP::Request r;
        r.url = QUrl(QStringLiteral("http://127.0.0.1:%1/inference").arg(port));
        r.method = "POST";
        r.headers = {{"Content-Type", "multipart/form-data; boundary=x"}};
        r.body = "--x\r\nContent-Disposition: form-data; " + form + "\r\n--x--\r\n";
        r.timeout = timeout;
        return HTTP::request(r);
    });
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

    static std::optional<QString> text(const char* t) { return QString::fromUtf8(t); }

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

    // A server that never answers is given up on after the time limit plus
    // the grace period, and it is free for the next request afterwards.
    void hangingServerIsGivenUpOn()
    {
        Fixture f;
        f.standIn.setReplies(
            {QJsonObject{{QStringLiteral("hang"), true}}, QJsonObject{{QStringLiteral("text"), QStringLiteral("ok")}}});
        QVERIFY(f.standIn.startServer(f.port) > 0);
        const QByteArray file = "name=\"file\"; filename=\"rec.wav\"\r\n\r\n" + wavOfSeconds(1);
        QElapsedTimer clock;
        clock.start();
        const HTTP::Response hung = post(f.port, file, 0.3);
        QCOMPARE(hung.status, 0);
        QVERIFY(clock.elapsed() < 5300);
        QCOMPARE(post(f.port, file, 0.3).body, std::optional<QByteArray>(R"({"text":"ok"})"));
    }

    void timeLimit()
    {
        QCOMPARE(Inference::timeLimit(44), 120.0);
        QCOMPARE(Inference::timeLimit(44 + 32000 * 61), 121.0);
        QCOMPARE(Inference::timeLimit(19200044), 660.0);
    }

    void requestOnTheWire_data()
    {
        QTest::addColumn<QStringList>("terms");
        QTest::addColumn<double>("seconds");
        QTest::newRow("screen terms") << QStringList{QStringLiteral("サイリ"), QStringLiteral("Qt")} << 1.0;
        QTest::newRow("no terms, ten minutes") << QStringList{} << 600.0;
    }
    void requestOnTheWire()
    {
        QFETCH(QStringList, terms);
        QFETCH(double, seconds);
        Fixture f;
        f.standIn.setReplies({QJsonObject{{QStringLiteral("text"), QStringLiteral("  こんにちは\n")}}});
        WhisperServer server(processes, [terms] { return terms; });
        const QByteArray wav = wavOfSeconds(seconds);
        // Nothing runs yet: the first transcription starts the server.
        for (int i = 0; i < 2; ++i)
            QCOMPARE(onPipeline([&] { return server.transcribe(wav); }), text("こんにちは"));
        server.stop();

        const QString prompt = Config::hintLine(terms);
        const QList<WhisperStandIn::Recorded> sent = f.standIn.inferenceRequests();
        QCOMPARE(sent.size(), 2);
        QByteArrayList boundaries;
        for (const WhisperStandIn::Recorded& r : sent) {
            const QByteArray type = r.header("Content-Type");
            QVERIFY(type.startsWith("multipart/form-data; boundary="));
            const QByteArray b = type.mid(type.indexOf('=') + 1);
            QCOMPARE(r.body, expectedForm(wav, prompt, b));
            boundaries << b;
        }
        QVERIFY(boundaries[0] != boundaries[1]);
        QCOMPARE(f.log().count(QStringLiteral("ヒント合成: 全")), !terms.isEmpty() && !prompt.isEmpty() ? 2 : 0);
    }

    // A server that cannot start, replies that give no text, a server that dies.
    void transcriptionFailures()
    {
        Fixture f;
        WhisperServer server(processes);
        const QByteArray wav = wavOfSeconds(0.5);
        const auto transcribe = [&] { return onPipeline([&] { return server.transcribe(wav); }); };

        // A model the server rejects: it exits at once, and nobody waits for it.
        f.data.writeText(QStringLiteral("empty.bin"), {});
        Config::edit([&](ConfigData& c) { c.whisperModelPath = f.data.file(QStringLiteral("empty.bin")); });
        QElapsedTimer waited;
        waited.start();
        QVERIFY(!transcribe());
        QVERIFY2(waited.elapsed() < 10000, "a server that cannot come up is not waited for");
        QVERIFY(f.standIn.requests().isEmpty());
        QVERIFY(!f.log().contains(QStringLiteral("文字起こしに失敗")));
        f.standIn.configure(f.port);

        QJsonArray replies{QJsonObject{{QStringLiteral("text"), QString()}}};
        for (const char* body : {R"({"text": 5})", R"({"segments": []})", "not json", R"(["text"])"})
            replies << QJsonObject{{QStringLiteral("body"), QString::fromUtf8(body)}};
        replies << QJsonObject{{QStringLiteral("status"), 503}, {QStringLiteral("body"), QStringLiteral("busy")}};
        f.standIn.setReplies(replies);
        QCOMPARE(transcribe(), text(""));  // no speech is a success
        for (int i = 1; i < 6; ++i)
            QVERIFY(!transcribe());
        QCOMPARE(f.log().count(QStringLiteral("文字起こしに失敗（HTTP 200）")), 4);
        QCOMPARE(f.log().count(QStringLiteral("文字起こしに失敗（HTTP 503）")), 1);

        // Dies every time: one more try only.
        f.standIn.setReplies({QJsonObject{{QStringLiteral("exit"), 1}}});
        QVERIFY(!transcribe());
        QCOMPARE(f.standIn.starts().size(), 3);
        QCOMPARE(f.log().count(QStringLiteral("文字起こしに失敗（HTTP 0）")), 2);

        f.standIn.setReplies({QJsonObject{{QStringLiteral("text"), QStringLiteral("次")}}});
        QCOMPARE(transcribe(), text("次"));
        ::kill(pid_t(server.processId().value_or(0)), SIGKILL);  // dies between dictations
        QVERIFY(WhisperStandIn::waitClosed(f.port, 5));
        QCOMPARE(transcribe(), text("次"));
        server.stop();
        QCOMPARE(f.standIn.starts().size(), 5);
    }
};

QTEST_GUILESS_MAIN(TestWhisperServer)
#include "tst_WhisperServer.moc"
