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

using namespace Qt::StringLiterals;

namespace {

const QString feedPath = u"/sayri/updates/appcast.xml"_s;
const QString logLine = u"新しい版 %1 が配信されています（画面に赤文字で案内）"_s;

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
        UpdateNotice::testing::reset(server->baseUrl() + u"/sayri/"_s, u"5"_s);
    }
    void cleanup()
    {
        server.reset();
        data.reset();
    }

    void feeds()
    {
        const QList<std::tuple<QByteArray, qint64, QString>> cases{
            // build -1: nothing usable
            {item("6", "1.2.0"), 6, u"1.2.0"_s},
            // The first of each element counts, even when they sit in different items.
            {"<item><sparkle:version>12</sparkle:version></item>" + item("11", "2.0") + item("13", "2.1"), 12,
             u"2.0"_s},
            {"<sparkle:shortVersionString>9.0</sparkle:shortVersionString>", -1, {}},  // no build
            {"<sparkle:version>9</sparkle:version>", -1, {}},                          // no version
            {item("9a", "9.0"), -1, {}},
            {item("99999999999999999999", "9.0"), -1, {}},
            {item("90", "9.0b1"), -1, {}},
            {item("90", "9.0").replace("サイリ", "\xff\xfe"), -1, {}},  // not UTF-8
            {"<html><body>Not Found</body></html>", -1, {}}};
        for (const auto& [body, build, version] : cases) {
            const auto newest = UpdateNotice::detail::parseFeed(body);
            QCOMPARE(newest ? newest->build : -1, build);
            QCOMPARE(newest ? newest->version : QString(), version);
        }
    }

    void ownBuildNumbers()
    {
        for (const auto& [text, number] : {std::pair{QString(), 0},
                                           {u"1.4"_s, 0},
                                           {u"+7"_s, 7},
                                           {u"-3"_s, -3},
                                           {u"10"_s, 10},
                                           {u"99999999999999999999"_s, 0}})
            QCOMPARE(UpdateNotice::detail::parseBuildNumber(text), number);
    }

    void newerThenEqualClearsAndTheThrottle()
    {
        // Status codes are not looked at. A check asked for from another
        // thread completes on the main thread, already seeing its value.
        server->setBody(feedPath, item("6", "1.2.0"), 500);
        std::atomic<bool> onMain = false, done = false;
        std::thread([&] {
            UpdateNotice::確認([&] {
                onMain = MainThread::isCurrent();
                done = UpdateNotice::新しい版() == u"1.2.0"_s;
            });
        }).join();
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
        QVERIFY(onMain.load());
        QCOMPARE(server->requests(), QStringList{feedPath});
        QCOMPARE(logMessages().count(logLine.arg(u"1.2.0"_s)), 1);

        // Ten minutes later nothing is fetched; thirty minutes after the fetch
        // the same version again, without a second log line (counted below).
        UpdateNotice::testing::ageLastFetch(600);
        QVERIFY(answeredAtOnce());
        UpdateNotice::testing::ageLastFetch(1200);
        QCOMPARE(check(), u"1.2.0"_s);

        // An unusable answer changes nothing.
        server->setBody(feedPath, "<html><body>Not Found</body></html>", 404);
        QCOMPARE(checkLater(), u"1.2.0"_s);

        // A feed whose newest build is our own clears the notice, quietly.
        server->setBody(feedPath, item("5", "1.1.0"));
        QCOMPARE(checkLater(), std::nullopt);
        QCOMPARE(logMessages().size(), 1);
        QCOMPARE(server->requests().size(), 4);

        // A failed fetch counts as a fetch too.
        server->close();
        checkLater();
        QVERIFY(answeredAtOnce());
    }

    void siteUnsetFetchesNothing()
    {
        for (const QString& site : {QString(), u"not a site"_s, u"ftp://127.0.0.1"_s}) {
            UpdateNotice::testing::reset(site, u"5"_s);
            QVERIFY(answeredAtOnce());
        }
        UpdateNotice::確認(nullptr);  // no completion: fine
        QTest::qWait(100);
        QVERIFY(server->requests().isEmpty());
    }
};

QTEST_MAIN(TestUpdateNotice)
#include "tst_UpdateNotice.moc"
