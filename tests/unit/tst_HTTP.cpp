// The blocking HTTP calls of worker threads, against the whisper-server
// stand-in on loopback.

#include "OnPipeline.h"
#include "TestDataFolder.h"
#include "WhisperStandIn.h"

#include "recognition/HTTP.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

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

class TestHTTP : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void statusCodes()
    {
        TestDataFolder data;
        WhisperStandIn standIn;
        const quint16 port = WhisperStandIn::freePort();
        const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
        for (const QString& url : {base + u'/', QStringLiteral("http://[::1"), QString()})  // nothing listening, bad URLs
            QCOMPARE(onPipeline([&] { return HTTP::statusCode(url, 0.5); }), 0);

        QVERIFY(standIn.startServer(port) > 0);
        QCOMPARE(onPipeline([&] { return HTTP::statusCode(base + u'/', 0.5); }), 200);
        QCOMPARE(onPipeline([&] { return HTTP::statusCode(base + QStringLiteral("/inference"), 0.5); }), 404);
        const HTTP::Response bad = post(port, "name=\"temperature\"\r\n\r\n0.0");
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
        const QByteArray file = "name=\"file\"; filename=\"rec.wav\"\r\n\r\n" +
                                QByteArray("RIFF\x24\x7d\0\0WAVE", 12) + QByteArray(32000, '\1');
        QElapsedTimer clock;
        clock.start();
        const HTTP::Response hung = post(port, file, 0.3);
        QCOMPARE(hung.status, 0);
        QVERIFY(!hung.body);
        QVERIFY(clock.elapsed() < 5300);

        const HTTP::Response next = post(port, file, 0.3);
        QCOMPARE(next.status, 200);
        QCOMPARE(next.body, std::optional<QByteArray>(R"({"text":"ok"})"));
    }
};

QTEST_GUILESS_MAIN(TestHTTP)
#include "tst_HTTP.moc"
