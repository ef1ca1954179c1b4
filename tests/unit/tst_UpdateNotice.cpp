// The check for a newer version: what a feed and the own build number read
// as, then whole checks against a feed served on the loopback address (the
// log line, unusable answers, the 1500-second throttle, the site, where the
// completion runs).
#include "FileServer.h"
#include "LogFile.h"
#include "TestDataFolder.h"

#include "provision/UpdateNotice.h"
#include "store/Config.h"
#include "support/MainThread.h"

#include <QtTest>

#include <thread>

namespace {

const QString feedPath = QStringLiteral("/sayri/updates/appcast.xml");
const QString logLine = QStringLiteral("新しい版 %1 が配信されています（画面に赤文字で案内）");

QByteArray item(const QByteArray& build, const QByteArray& version)
{
    return "<item><title>サイリ " + version + "</title><sparkle:version>" + build
           + "</sparkle:version><sparkle:shortVersionString>" + version + "</sparkle:shortVersionString></item>\n";
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
        // A site with a path and a trailing slash: the feed lies below the path.
        UpdateNotice::testing::reset(server->baseUrl() + QStringLiteral("/sayri/"), QStringLiteral("5"));
    }
    void cleanup()
    {
        server.reset();
        data.reset();
    }

    void feeds_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<qint64>("build");  // -1: nothing usable
        QTest::addColumn<QString>("version");
        QTest::newRow("one item") << item("6", "1.2.0") << qint64(6) << "1.2.0";
        // The first of each element counts, even when they sit in different items.
        QTest::newRow("first elements") << "<item><sparkle:version>12</sparkle:version></item>" + item("11", "2.0")
                                               + item("13", "2.1")
                                        << qint64(12) << "2.0";
        QTest::newRow("no build") << QByteArray("<sparkle:shortVersionString>9.0</sparkle:shortVersionString>")
                                  << qint64(-1) << "";
        QTest::newRow("no version") << QByteArray("<sparkle:version>9</sparkle:version>") << qint64(-1) << "";
        QTest::newRow("build not digits") << item("9a", "9.0") << qint64(-1) << "";
        QTest::newRow("build too large") << item("99999999999999999999", "9.0") << qint64(-1) << "";
        QTest::newRow("version with letters") << item("90", "9.0b1") << qint64(-1) << "";
        QTest::newRow("not UTF-8") << item("90", "9.0").replace("サイリ", "\xff\xfe") << qint64(-1) << "";
        QTest::newRow("error page") << QByteArray("<html><body>Not Found</body></html>") << qint64(-1) << "";
    }
    void feeds()
    {
        QFETCH(QByteArray, body);
        QFETCH(qint64, build);
        QFETCH(QString, version);
        const auto newest = UpdateNotice::detail::parseFeed(body);
        QCOMPARE(newest ? newest->build : -1, build);
        QCOMPARE(newest ? newest->version : QString(), version);
    }

    void ownBuildNumbers()
    {
        for (const auto& [text, number] : {std::pair{QString(), 0},
                                           {QStringLiteral("1.4"), 0},
                                           {QStringLiteral("+7"), 7},
                                           {QStringLiteral("-3"), -3},
                                           {QStringLiteral("10"), 10},
                                           {QStringLiteral("99999999999999999999"), 0}})
            QCOMPARE(UpdateNotice::detail::parseBuildNumber(text), number);
    }

    void newerThenEqualClears()
    {
        // Status codes are not looked at; the completion already sees the
        // value it is called for.
        server->setBody(feedPath, item("6", "1.2.0"), 500);
        QCOMPARE(check(), QStringLiteral("1.2.0"));
        QCOMPARE(server->requests(), QStringList{feedPath});
        QCOMPARE(logMessages().count(logLine.arg(QStringLiteral("1.2.0"))), 1);

        // The same version again: no second log line.
        QCOMPARE(checkLater(), QStringLiteral("1.2.0"));
        QCOMPARE(logMessages().count(logLine.arg(QStringLiteral("1.2.0"))), 1);

        // An unusable answer changes nothing.
        server->setBody(feedPath, "<html><body>Not Found</body></html>", 404);
        QCOMPARE(checkLater(), QStringLiteral("1.2.0"));

        // A feed whose newest build is our own clears the notice, quietly.
        server->setBody(feedPath, item("5", "1.1.0"));
        QCOMPARE(checkLater(), std::nullopt);
        QCOMPARE(UpdateNotice::新しい版(), std::nullopt);
        QCOMPARE(logMessages().size(), 1);
        QCOMPARE(server->requests().size(), 4);
    }

    void throttle()
    {
        server->setBody(feedPath, item("6", "1.2.0"));
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

    void calledFromAnotherThread()
    {
        server->setBody(feedPath, item("6", "1.2.0"));
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
