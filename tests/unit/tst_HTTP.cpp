// The blocking HTTP calls of worker threads, against the whisper-server
// stand-in on loopback.

#include "OnPipeline.h"
#include "TestDataFolder.h"
#include "WhisperStandIn.h"

#include "recognition/HTTP.h"

#include <QElapsedTimer>
#include <QTest>

class TestHTTP : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void statusCodes()
    {
        TestDataFolder data;
        WhisperStandIn standIn;
        const quint16 port = WhisperStandIn::freePort();
        const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);

        QCOMPARE(onPipeline([&] { return HTTP::statusCode(base + u'/', 0.5); }), 0);  // nothing listening
        QCOMPARE(onPipeline([] { return HTTP::statusCode(QStringLiteral("http://[::1"), 0.5); }), 0);
        QCOMPARE(onPipeline([] { return HTTP::statusCode(QString(), 0.5); }), 0);

        QVERIFY(standIn.startServer(port) > 0);
        QCOMPARE(onPipeline([&] { return HTTP::statusCode(base + u'/', 0.5); }), 200);
        QCOMPARE(onPipeline([&] { return HTTP::statusCode(base + QStringLiteral("/inference"), 0.5); }), 404);

        const HTTP::Response bad = onPipeline([&] {
            HTTP::Request r;
            r.url = QUrl(base + QStringLiteral("/inference"));
            r.method = "POST";
            r.headers = {{"Content-Type", "multipart/form-data; boundary=x"}};
            r.body = "--x\r\nContent-Disposition: form-data; name=\"temperature\"\r\n\r\n0.0\r\n--x--\r\n";
            return HTTP::request(r);
        });
        QCOMPARE(bad.status, 400);
        QCOMPARE(bad.body, std::optional<QByteArray>("Invalid request"));
    }

    // A server that never answers is given up on after the time limit plus
    // the grace period, and it is free for the next request afterwards.
    void hangingServerIsGivenUpOn()
    {
        TestDataFolder data;
        WhisperStandIn standIn;
        const quint16 port = WhisperStandIn::freePort();
        standIn.setReplies({QJsonObject{{QStringLiteral("hang"), true}},
                            QJsonObject{{QStringLiteral("text"), QStringLiteral("ok")}}});
        QVERIFY(standIn.startServer(port) > 0);

        const auto post = [port] {
            HTTP::Request r;
            r.url = QUrl(QStringLiteral("http://127.0.0.1:%1/inference").arg(port));
            r.method = "POST";
            const QByteArray wav = QByteArray("RIFF\x24\x7d\0\0WAVE", 12) + QByteArray(32000, '\1');
            r.headers = {{"Content-Type", "multipart/form-data; boundary=x"}};
            r.body = "--x\r\nContent-Disposition: form-data; name=\"file\"; filename=\"rec.wav\"\r\n\r\n" + wav +
                     "\r\n--x--\r\n";
            r.timeout = 0.3;
            return HTTP::request(r);
        };
        QElapsedTimer clock;
        clock.start();
        const HTTP::Response hung = onPipeline(post);
        QCOMPARE(hung.status, 0);
        QVERIFY(!hung.body);
        QVERIFY(clock.elapsed() < 5300);

        const HTTP::Response next = onPipeline(post);
        QCOMPARE(next.status, 200);
        QCOMPARE(next.body, std::optional<QByteArray>(R"({"text":"ok"})"));
    }
};

QTEST_GUILESS_MAIN(TestHTTP)
#include "tst_HTTP.moc"
