// One Sayri per session: of launches at the same moment exactly one stays, a
// busy instance keeps its place, and a socket nobody answers on is replaced.
#include "platform/linux/SingleInstance.h"

#include <QTemporaryDir>
#include <QtTest>

#include <latch>
#include <thread>

class TestSingleInstance : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void exactlyOneInstance()
    {
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
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

        QFile stale(SingleInstance::socketPath());  // left by a crashed instance
        QVERIFY(stale.open(QIODevice::WriteOnly));
        SingleInstance first;
        int reopened = 0;
        QVERIFY(first.claim() && first.listen([&] { ++reopened; }));
        // Busy (its event loop not turning), it still keeps its place.
        QVERIFY(!SingleInstance().claim());
        QTRY_COMPARE(reopened, 1);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_SingleInstance.moc"
