// One recording to text: the form on the wire, the replies and the failures,
// and the blocking HTTP calls underneath, against the whisper-server stand-in
// on loopback.

#include "OnPipeline.h"
#include "StandInFixture.h"

#include "audio/AudioRecorder.h"
#include "platform/linux/LinuxProcesses.h"
#include "recognition/HTTP.h"
#include "recognition/Inference.h"
#include "recognition/WhisperServer.h"
#include "store/Config.h"
#include "store/Dictionary.h"

#include <QElapsedTimer>
#include <QTest>

#include <csignal>

namespace {

LinuxProcesses processes;

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

using Fixture = StandInFixture;

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

}  // namespace

class TestTranscription : public QObject {
    Q_OBJECT

    static std::optional<QString> text(const char* t) { return QString::fromUtf8(t); }

private Q_SLOTS:
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
    void failures()
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

QTEST_GUILESS_MAIN(TestTranscription)
#include "tst_Transcription.moc"
