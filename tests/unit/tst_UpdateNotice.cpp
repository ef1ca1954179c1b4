// The check for a newer version against a feed served on the loopback
// address: which item counts, unusable answers, the own build number, the
// 1500-second throttle, the log line and where the completion runs.
#include "FileServer.h"
#include "LogFile.h"
#include "TestDataFolder.h"

#include "provision/UpdateNotice.h"
#include "store/Config.h"
#include "support/MainThread.h"

#include <QtTest>

#include <thread>

namespace {

const QString feedPath = QStringLiteral("/updates/appcast.xml");
const QString logLine = QStringLiteral("新しい版 %1 が配信されています（画面に赤文字で案内）");

QByteArray feed(const QByteArray& items)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">\n"
           "<channel><title>サイリ</title>\n"
           + items + "</channel></rss>\n";
}

QByteArray item(const QByteArray& build, const QByteArray& version)
{
    return "<item><title>サイリ " + version
           + "</title>"
             "<sparkle:version>"
           + build
           + "</sparkle:version>"
             "<sparkle:shortVersionString>"
           + version
           + "</sparkle:shortVersionString>"
             "<enclosure url=\"https://example.invalid/Sayri.zip\" length=\"1\" "
             "type=\"application/octet-stream\"/></item>\n";
}

}  // namespace

class TestUpdateNotice : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDataFolder> data;
    std::unique_ptr<FileServer> server;

    // One check; returns once its completion has run, and what the
    // completion saw of the newer version.
    std::optional<QString> check()
    {
        bool done = false;
        std::optional<QString> seen;
        UpdateNotice::確認([&] {
            done = true;
            seen = UpdateNotice::新しい版();
        });
        [&] { QTRY_VERIFY_WITH_TIMEOUT(done, 10000); }();
        return seen;
    }

    // A check as if the last fetch was long enough ago.
    std::optional<QString> checkLater()
    {
        UpdateNotice::testing::ageLastFetch(1500);
        return check();
    }

    // When nothing is to be fetched the completion runs at once; it may read
    // the notice, as the settings window's does (a deadlock hangs the test).
    static bool answeredAtOnce()
    {
        auto called = std::make_shared<bool>(false);
        UpdateNotice::確認([called] {
            UpdateNotice::新しい版();
            *called = true;
        });
        return *called;
    }

private Q_SLOTS:
    void init()
    {
        data = std::make_unique<TestDataFolder>();
        Config::bootstrap();
        server = std::make_unique<FileServer>();
        UpdateNotice::testing::reset(server->baseUrl(), QStringLiteral("5"));
    }
    void cleanup()
    {
        server.reset();
        data.reset();
    }

    void newerThenEqualClears()
    {
        // Status codes are not looked at; the completion already sees the
        // value it is called for.
        server->setBody(feedPath, feed(item("6", "1.2.0")), 500);
        QCOMPARE(check(), QStringLiteral("1.2.0"));
        QCOMPARE(server->requests(), QStringList{feedPath});
        QCOMPARE(logMessages().count(logLine.arg(QStringLiteral("1.2.0"))), 1);

        // The same version again: no second log line.
        QCOMPARE(checkLater(), QStringLiteral("1.2.0"));
        QCOMPARE(logMessages().count(logLine.arg(QStringLiteral("1.2.0"))), 1);

        // A feed whose newest build is our own clears the notice, quietly.
        server->setBody(feedPath, feed(item("5", "1.1.0")));
        QCOMPARE(checkLater(), std::nullopt);
        QCOMPARE(UpdateNotice::新しい版(), std::nullopt);
        QCOMPARE(logMessages().size(), 1);
        QCOMPARE(server->requests().size(), 3);
    }

    void firstElementsCountEvenAcrossItems()
    {
        // The first build number belongs to an item without a version string;
        // the first version string is that of the next item.
        server->setBody(feedPath, feed("<item><sparkle:version>12</sparkle:version></item>\n" + item("11", "2.0")
                                       + item("13", "2.1")));
        QCOMPARE(check(), QStringLiteral("2.0"));

        // An older first build hides a newer one further down.
        server->setBody(feedPath, feed(item("4", "0.9") + item("13", "2.1")));
        QCOMPARE(checkLater(), std::nullopt);
    }

    void unusableAnswersChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::newRow("no build") << feed("<item><sparkle:shortVersionString>9.0</sparkle:shortVersionString></item>")
                                  << 200;
        QTest::newRow("build not digits") << feed(item("9a", "9.0")) << 200;
        QTest::newRow("build too large") << feed(item("99999999999999999999", "9.0")) << 200;
        QTest::newRow("version with letters") << feed(item("90", "9.0b1")) << 200;
        QTest::newRow("not UTF-8") << feed(item("90", "9.0")).replace("サイリ", "\xff\xfe") << 200;
        QTest::newRow("error page") << QByteArray("<html><body>Not Found</body></html>") << 404;
    }
    void unusableAnswersChangeNothing()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        server->setBody(feedPath, feed(item("6", "1.2.0")));
        QCOMPARE(check(), QStringLiteral("1.2.0"));
        server->setBody(feedPath, body, status);
        QCOMPARE(checkLater(), QStringLiteral("1.2.0"));
        QCOMPARE(server->requests().size(), 2);
    }

    void ownBuildNumber_data()
    {
        QTest::addColumn<QString>("own");
        QTest::addColumn<QByteArray>("feedBuild");
        QTest::addColumn<bool>("newer");
        QTest::newRow("missing: 0") << QString() << QByteArray("1") << true;
        QTest::newRow("not a number: 0") << QStringLiteral("1.4") << QByteArray("1") << true;
        QTest::newRow("plus sign") << QStringLiteral("+7") << QByteArray("7") << false;
        QTest::newRow("minus sign") << QStringLiteral("-3") << QByteArray("0") << true;
        QTest::newRow("compared as numbers") << QStringLiteral("9") << QByteArray("10") << true;
    }
    void ownBuildNumber()
    {
        QFETCH(QString, own);
        QFETCH(QByteArray, feedBuild);
        QFETCH(bool, newer);
        UpdateNotice::testing::reset(server->baseUrl(), own);
        server->setBody(feedPath, feed(item(feedBuild, "3.0")));
        QCOMPARE(check().has_value(), newer);
    }

    void throttle()
    {
        server->setBody(feedPath, feed(item("6", "1.2.0")));
        check();
        UpdateNotice::testing::ageLastFetch(600);  // ten minutes later
        QVERIFY(answeredAtOnce());
        QTest::qWait(100);
        QCOMPARE(server->requests().size(), 1);

        UpdateNotice::testing::ageLastFetch(1200);  // thirty minutes after the fetch
        check();
        QCOMPARE(server->requests().size(), 2);

        // A failed fetch counts as a fetch too.
        server->close();
        checkLater();
        QVERIFY(answeredAtOnce());
    }

    void siteUnsetFetchesNothing()
    {
        for (const QString& site : {QString(), QStringLiteral("not a site"), QStringLiteral("ftp://127.0.0.1")}) {
            UpdateNotice::testing::reset(site, QStringLiteral("5"));
            QVERIFY(answeredAtOnce());
        }
        UpdateNotice::確認(nullptr);  // no completion: fine
        QTest::qWait(100);
        QVERIFY(server->requests().isEmpty());
    }

    void siteWithPathAndSlash()
    {
        UpdateNotice::testing::reset(server->baseUrl() + QStringLiteral("/sayri/"), QStringLiteral("5"));
        server->setBody(QStringLiteral("/sayri") + feedPath, feed(item("6", "1.2.0")));
        QCOMPARE(check(), QStringLiteral("1.2.0"));
    }

    void calledFromAnotherThread()
    {
        server->setBody(feedPath, feed(item("6", "1.2.0")));
        std::atomic<bool> onMain = false, done = false;
        std::thread caller([&] {
            UpdateNotice::確認([&] {
                onMain = MainThread::isCurrent();
                done = true;
            });
        });
        caller.join();
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
        QVERIFY(onMain.load());
        QCOMPARE(UpdateNotice::新しい版(), QStringLiteral("1.2.0"));
    }
};

QTEST_MAIN(TestUpdateNotice)
#include "tst_UpdateNotice.moc"
