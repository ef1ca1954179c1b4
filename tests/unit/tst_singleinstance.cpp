// One Sayri per session: of launches at the same moment exactly one stays, a
// busy instance keeps its place, and a socket nobody answers on is replaced.
#include "platform/linux/SingleInstance.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <latch>
#include <thread>

class SingleInstanceTest : public QObject {
    Q_OBJECT
    QTemporaryDir runtime;

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8()); }

    void exactlyOneInstance()
    {
        std::latch bothClaimed(2);
        std::atomic<int> claimed = 0;
        auto launch = [&] {
            SingleInstance s;
            claimed += s.claim();
            bothClaimed.arrive_and_wait();
        };
        std::thread a(launch), b(launch);
        a.join();
        b.join();
        QCOMPARE(claimed.load(), 1);

        // A socket left by a crashed instance: nothing answers, so it is replaced.
        QFile stale(SingleInstance::socketPath());
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        SingleInstance first;
        QVERIFY(first.claim());
        int reopened = 0;
        QVERIFY(first.listen([&] { ++reopened; }));

        // The first is busy (its event loop not turning): a later launch still
        // hands over, and the request is taken once the loop turns.
        SingleInstance later;
        QVERIFY(!later.claim());
        QTRY_COMPARE(reopened, 1);
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
