// Screen-context hints: the terms picked out of a window's text, and what a
// capture does with the setting, the frontmost application and the background
// job that reads the window.
#include "Fakes.h"
#include "LogFile.h"
#include "TestDataFolder.h"

#include "desktop/ScreenContext.h"
#include "store/Config.h"

#include <QCoreApplication>
#include <QtTest>

#include <condition_variable>
#include <mutex>

using namespace Qt::StringLiterals;

namespace {

// A fake accessibility tree for this unit test only: each process id shows
// one window holding one text. Reads can be held until released, and every
// call is counted.
class ScriptedTree : public AccessibleTree {
public:
    QMap<qint64, QString> texts;  // pid -> the window's text
    std::atomic<int> calls{0};
    std::atomic<int> switchOns{0};  // looks at the accessibility switch
    std::atomic<bool> a11yOn{true};

    // Holds reads for `pid` until release(pid).
    void hold(qint64 pid)
    {
        std::lock_guard l(m_);
        held_.insert(pid);
    }
    void release(qint64 pid)
    {
        {
            std::lock_guard l(m_);
            held_.remove(pid);
        }
        cv_.notify_all();
    }

    std::optional<bool> accessibilityOn() override
    {
        ++switchOns;
        return a11yOn.load();
    }
    bool setAccessibilityOn(bool on) override
    {
        a11yOn = on;
        return true;
    }
    std::optional<AccessibleElement> activeWindow(qint64 pid) override
    {
        ++calls;
        std::unique_lock l(m_);
        cv_.wait(l, [&] { return !held_.contains(pid); });
        if (!texts.contains(pid))
            return std::nullopt;
        return AccessibleElement{QString::number(pid), QStringLiteral("/window")};
    }
    std::optional<QList<AccessibleFacts>> read(const QList<Ask>& asks, int) override
    {
        ++calls;
        QList<AccessibleFacts> out;
        for (const Ask& a : asks) {
            AccessibleFacts f;
            f.value = texts.value(a.element.owner.toLongLong());
            out.append(f);
        }
        return out;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    QSet<qint64> held_;
};

// Counts the questions asked of it.
struct CountingFrontmost : FrontmostApp {
    std::optional<FrontmostAppInfo> app;
    int asked = 0;
    std::optional<FrontmostAppInfo> current() override
    {
        ++asked;
        return app;
    }
};

FrontmostAppInfo appWithPid(qint64 pid)
{
    FrontmostAppInfo info;
    info.pid = pid;
    info.name = QStringLiteral("App");
    return info;
}

constexpr qint64 ownPid = 4242;

struct Fixture {
    TestDataFolder data;
    std::shared_ptr<ScriptedTree> tree = std::make_shared<ScriptedTree>();
    std::shared_ptr<CountingFrontmost> frontmost = std::make_shared<CountingFrontmost>();
    ScreenContext screen{tree, frontmost, ownPid};

    Fixture() { data.writeText(QStringLiteral("dictionary.txt"), QString()); }
    bool settled() { return QTest::qWaitFor([&] { return screen.capturesRunning() == 0; }, 5000); }
    // Captures the window of `pid` and waits for the job.
    QStringList captureOf(qint64 pid)
    {
        frontmost->app = appWithPid(pid);
        screen.capture();
        return settled() ? screen.currentTerms() : QStringList{u"(still running)"_s};
    }
};

QString repeated(const QString& unit, int n)
{
    QString s;
    for (int i = 0; i < n; ++i)
        s += unit;
    return s;
}

}  // namespace

class TestScreenContext : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void extractTerms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("terms");

        QTest::newRow("empty") << QString() << QStringList();
        QTest::newRow("six katakana once") << u"コンピュータを使う"_s << QStringList{u"コンピュータ"_s};
        QTest::newRow("two katakana never") << u"ログ ログ ログ"_s << QStringList();
        QTest::newRow("prolonged mark not first") << u"ーーーー ーテスト"_s << QStringList();
        QTest::newRow("three katakana once") << u"テストです"_s << QStringList();
        QTest::newRow("three katakana twice") << u"テストのテスト"_s << QStringList{u"テスト"_s};
        QTest::newRow("kanji with iteration mark") << u"人々と人々"_s << QStringList{u"人々"_s};
        QTest::newRow("exclusions, case-sensitive") << u"ファイル ファイル New New new new Tab Tab"_s
                                                    << QStringList{u"new"_s};
        QTest::newRow("case forms: the first in count order stays")
            << u"Report report report"_s << QStringList{u"report"_s};
        QTest::newRow("case forms: equal counts, first occurrence")
            << u"Report Report report report"_s << QStringList{u"Report"_s};
        QTest::newRow("case forms: the winner dropped, the others still skipped")
            << u"Rust rust"_s << QStringList();
        QTest::newRow("letters with digits") << u"macOS15 macOS15 Qt6 Qt6 version version"_s
                                             << QStringList{u"version"_s};
        QTest::newRow("20 characters kept, 21 never")
            << repeated(u"ア"_s, 20) + u" "_s + repeated(u"イ"_s, 21) << QStringList{repeated(u"ア"_s, 20)};
        QTest::newRow("count first, then length, then first occurrence")
            << u"Alpha Beta Beta Gamma Gamma Delta Delta Deltas Deltas Epsilon"_s
            << QStringList{u"Deltas"_s, u"Gamma"_s, u"Delta"_s, u"Beta"_s, u"Epsilon"_s, u"Alpha"_s};
    }

    void extractTerms()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, terms);
        TestDataFolder data;
        data.writeText(QStringLiteral("dictionary.txt"), QString());
        QCOMPARE(ScreenContext::extractTerms(text), terms);
        // The same text always gives the same order.
        QCOMPARE(ScreenContext::extractTerms(text), terms);
    }

    void twentyCandidatesGiveFifteen()
    {
        TestDataFolder data;
        data.writeText(QStringLiteral("dictionary.txt"), QString());
        QString text;
        QStringList expected;
        // Twenty words of five letters, the k-th seen k times: the fifteen
        // most frequent are kept, most frequent first.
        for (int i = 0; i < 20; ++i) {
            const QString word = QStringLiteral("W") + repeated(QString(QChar(u'a' + i)), 4);
            text += repeated(word + u' ', i + 1);
            expected.prepend(word);
        }
        QCOMPARE(ScreenContext::extractTerms(text), expected.mid(0, 15));
    }

    void dictionaryWords()
    {
        TestDataFolder data;
        // 俯瞰図 and the filler fill 184 of the 185 characters; 渡邊 and ア
        // do not fit and are inactive.
        data.writeText(QStringLiteral("dictionary.txt"),
                       u"俯瞰図\n"_s + repeated(u"あ"_s, 180) + u"\n渡邊\nア\n"_s);
        // Active: never a term. Inactive: first, even once and short.
        QCOMPARE(ScreenContext::extractTerms(u"俯瞰図と俯瞰図、コンピュータ、渡邊"_s),
                 (QStringList{u"渡邊"_s, u"コンピュータ"_s}));
    }

    void hintsOffClearsWithoutReading()
    {
        Fixture f;
        f.tree->texts[7] = u"コンピュータ"_s;
        QCOMPARE(f.captureOf(7), QStringList{u"コンピュータ"_s});
        const int calls = f.tree->calls;
        const int asked = f.frontmost->asked;

        Config::edit([](ConfigData& c) { c.screenHintEnabled = false; });
        f.screen.capture();
        QCOMPARE(f.screen.currentTerms(), QStringList());
        QCOMPARE(f.screen.capturesRunning(), 0);
        QCOMPARE(f.tree->calls, calls);
        QCOMPARE(f.frontmost->asked, asked);
        f.screen.prepare();
        QTest::qWait(50);
        QCOMPARE(f.tree->switchOns, 1);  // the one of the first capture only
    }

    void ownWindowOrNoneClears()
    {
        Fixture f;
        f.tree->texts[7] = u"コンピュータ"_s;
        f.tree->texts[ownPid] = u"サイリの設定ウィンドウ"_s;
        for (const std::optional<FrontmostAppInfo>& app :
             {std::optional(appWithPid(ownPid)), std::optional<FrontmostAppInfo>(), std::optional(appWithPid(0))}) {
            QCOMPARE(f.captureOf(7), QStringList{u"コンピュータ"_s});
            const int calls = f.tree->calls;
            f.frontmost->app = app;
            f.screen.capture();
            QCOMPARE(f.screen.currentTerms(), QStringList());
            QCOMPARE(f.screen.capturesRunning(), 0);
            QCOMPARE(f.tree->calls, calls);
        }
    }

    void backgroundJob()
    {
        Fixture f;
        f.tree->texts[7] = u"コンピュータとサーバー、Kubernetes"_s;
        f.tree->texts[8] = u"何もない"_s;

        // Both once and long enough; the longer first.
        QCOMPARE(f.captureOf(7), (QStringList{u"Kubernetes"_s, u"コンピュータ"_s}));
        QCOMPARE(logMessages(), QStringList{u"画面の文脈: 2語を採用"_s});
        QCOMPARE(f.tree->switchOns, 1);

        // While a job runs, readers see the previous terms; capture() returns at once.
        f.tree->hold(8);
        f.frontmost->app = appWithPid(8);
        f.screen.capture();
        QCOMPARE(f.screen.capturesRunning(), 1);
        QCOMPARE(f.screen.currentTerms(), (QStringList{u"Kubernetes"_s, u"コンピュータ"_s}));
        f.tree->release(8);
        QVERIFY(f.settled());
        // No terms: replaced by the empty list, and nothing logged.
        QCOMPARE(f.screen.currentTerms(), QStringList());
        QCOMPARE(logMessages().size(), 1);

        // An application that publishes nothing.
        QCOMPARE(f.captureOf(7).size(), 2);
        QCOMPARE(f.captureOf(9), QStringList());

        // The text read is never written anywhere.
        QVERIFY(!f.data.readText(QStringLiteral("sayri.log")).contains(u"サーバー"_s));
    }

    void theCaptureThatFinishesLastWins()
    {
        Fixture f;
        f.tree->texts[7] = u"コンピュータ"_s;
        f.tree->texts[8] = u"ネットワーク"_s;
        f.tree->hold(7);
        f.tree->hold(8);
        f.frontmost->app = appWithPid(7);
        f.screen.capture();
        f.frontmost->app = appWithPid(8);
        f.screen.capture();
        QCOMPARE(f.screen.capturesRunning(), 2);
        f.tree->release(8);
        QTRY_COMPARE(f.screen.currentTerms(), QStringList{u"ネットワーク"_s});
        f.tree->release(7);
        QVERIFY(f.settled());
        QCOMPARE(f.screen.currentTerms(), QStringList{u"コンピュータ"_s});
    }

    void accessibilityIsPutBackAsItWas()
    {
        const QString on = u"画面の文脈: デスクトップのアクセシビリティをオンにしました"_s;
        const QString back = u"画面の文脈: デスクトップのアクセシビリティを元のオフに戻しました"_s;
        auto hints = [](bool v) { Config::edit([v](ConfigData& c) { c.screenHintEnabled = v; }); };
        std::shared_ptr<ScriptedTree> tree;
        {
            Fixture f;
            tree = f.tree;
            f.screen.prepare();  // on already (the user's): never switched off
            hints(false);
            f.screen.capture();
            QTest::qWait(50);
            QVERIFY(tree->a11yOn);

            tree->a11yOn = false;
            hints(true);
            f.screen.prepare();
            QTRY_VERIFY(tree->a11yOn);
            hints(false);
            f.screen.capture();
            QTRY_VERIFY(!tree->a11yOn);
            QCOMPARE(logMessages(), (QStringList{on, back}));
            hints(true);
            f.screen.prepare();
            QTRY_VERIFY(tree->a11yOn);
        }
        QVERIFY(!tree->a11yOn);  // put back when Sayri ends
    }

    void preparingSwitchesAccessibilityOn()
    {
        Fixture f;
        f.screen.prepare();
        QTRY_COMPARE(f.tree->switchOns, 1);
        QCOMPARE(f.tree->calls, 0);

        // Once the event loop turns, when it was asked for soon.
        f.screen.prepareSoon();
        QCOMPARE(f.tree->switchOns, 1);
        QTRY_COMPARE(f.tree->switchOns, 2);
    }
};

QTEST_GUILESS_MAIN(TestScreenContext)
#include "tst_ScreenContext.moc"
