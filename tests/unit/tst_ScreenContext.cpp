// Screen-context hints: the terms picked out of a window's text, what a
// capture does with the setting, the frontmost application and the background
// job that reads the window, and the bounded walk over a window's tree, read
// in rounds, against the same walk done one element at a time.
#include "FakeAccessibleTrees.h"
#include "Fakes.h"
#include "LogFile.h"
#include "TestDataFolder.h"

#include "desktop/ScreenContext.h"
#include "desktop/ScreenContextWalk.h"
#include "store/Config.h"
#include "support/Graphemes.h"

#include <QtTest>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

FrontmostAppInfo appWithPid(qint64 pid)
{
    return {pid, QStringLiteral("App"), {}, {}, {}};
}

constexpr qint64 ownPid = 4242;

struct Fixture {
    TestDataFolder data;
    std::shared_ptr<FakeWindowTexts> tree = std::make_shared<FakeWindowTexts>();
    std::shared_ptr<FakeFrontmost> frontmost = std::make_shared<FakeFrontmost>();
    ScreenContext screen{tree, frontmost, ownPid};

    Fixture() { data.writeText(QStringLiteral("dictionary.txt"), QString()); }
    bool settled()
    {
        return QTest::qWaitFor([&] { return screen.capturesRunning() == 0; }, 5000);
    }
    // Captures the window of `pid` and waits for the job.
    QStringList captureOf(qint64 pid)
    {
        frontmost->app = appWithPid(pid);
        screen.capture();
        return settled() ? screen.currentTerms() : QStringList{u"(still running)"_s};
    }
};

// The walk as written for one element at a time.
QString referenceWalk(const FakeMemoryTree& tree)
{
    QString text;
    int count = 0;
    int visited = 0;
    QStringList above;  // what the enclosing elements show
    auto within = [](const QString& piece, int limit) { return !piece.isEmpty() && Graphemes::count(piece) < limit; };
    std::function<void(int, int, int)> collect = [&](int index, int depth, int level) {
        if (depth > 12 || level > 24 || visited > 1500 || count > 12000)
            return;
        ++visited;
        const FakeMemoryTree::Node& n = tree.nodes[index];
        if (!n.shown)
            return;
        const QString value = within(n.value, 4000) ? n.value : QString();
        const QString title = within(n.title, 200) && n.title != value ? n.title : QString();
        for (const QString& piece : {value, title}) {
            if (piece.isEmpty() || above.contains(piece))
                continue;
            text += piece + u'\n';
            count += Graphemes::count(piece + u'\n');
        }
        const bool wrapper = value.isEmpty() && !within(n.title, 200) && n.children.size() == 1;
        above << value << title;
        for (int child : n.children) {
            collect(child, wrapper ? depth : depth + 1, level + 1);
            if (visited >= 1501 || count >= 12001)
                break;
        }
        above.resize(above.size() - 2);
    };
    collect(0, 0, 0);
    return text;
}

QString walk(FakeMemoryTree& tree)
{
    return ScreenContextWalk::visibleText(tree, FakeMemoryTree::element(0));
}

// A random tree: shapes from chains to bushes, pieces of text of every size
// around the limits, some of many code units per character.
FakeMemoryTree randomTree(quint32 seed)
{
    QRandomGenerator rng(seed);
    FakeMemoryTree tree;
    const int size = 1 + int(rng.bounded(4000));
    const int fanout = 1 + int(rng.bounded(40));
    auto piece = [&]() -> QString {
        switch (rng.bounded(9)) {
        case 0:
            return {};
        case 1:
            return QStringLiteral("あ").repeated(3990 + int(rng.bounded(20)));
        case 2:
            return QStringLiteral("字").repeated(190 + int(rng.bounded(20)));
        case 3:
            return QStringLiteral("\U0001F468\u200D\U0001F469").repeated(1 + int(rng.bounded(300)));
        case 4:
            return QStringLiteral("行末\r");
        default:
            return QStringLiteral("語%1").arg(rng.bounded(100000));
        }
    };
    tree.add(piece(), piece());
    for (int i = 1; i < size; ++i) {
        // Half bushy (any earlier element), half chains (one of the last few).
        const int parent =
            rng.bounded(2) ? int(rng.bounded(quint32(i))) : qMax(0, i - 1 - int(rng.bounded(quint32(fanout))));
        QString title = piece();
        QString value = rng.bounded(5) == 0 ? title : rng.bounded(9) == 0 ? tree.nodes[parent].value : piece();
        const int n = tree.addChild(parent, title, value);
        tree.nodes[n].shown = rng.bounded(12) != 0;
    }
    return tree;
}

}  // namespace

class TestScreenContext : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void extractTerms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("terms");

        QTest::newRow("six katakana once") << u"コンピュータを使う"_s << QStringList{u"コンピュータ"_s};
        QTest::newRow("two katakana never") << u"ログ ログ ログ"_s << QStringList();
        QTest::newRow("prolonged mark not first") << u"ーーーー ーテスト"_s << QStringList();
        QTest::newRow("three katakana once") << u"テストです"_s << QStringList();
        QTest::newRow("three katakana twice") << u"テストのテスト"_s << QStringList{u"テスト"_s};
        QTest::newRow("kanji with iteration mark") << u"人々と人々"_s << QStringList{u"人々"_s};
        QTest::newRow("exclusions, case-sensitive")
            << u"ファイル ファイル New New new new Tab Tab"_s << QStringList{u"new"_s};
        QTest::newRow("case forms: the first in count order stays")
            << u"Report report report"_s << QStringList{u"report"_s};
        QTest::newRow("case forms: equal counts, first occurrence")
            << u"Report Report report report"_s << QStringList{u"Report"_s};
        QTest::newRow("case forms: the winner dropped, the others still skipped") << u"Rust rust"_s << QStringList();
        QTest::newRow("letters with digits")
            << u"macOS15 macOS15 Qt6 Qt6 Z00 Z00 version version"_s << QStringList{u"version"_s};
        QTest::newRow("20 characters kept, 21 never")
            << u"ア"_s.repeated(20) + u" "_s + u"イ"_s.repeated(21) << QStringList{u"ア"_s.repeated(20)};
        QTest::newRow("count first, then length, then first occurrence")
            << u"Alpha Beta Beta Gamma Gamma Delta Delta Deltas Deltas Epsilon"_s
            << QStringList{u"Deltas"_s, u"Gamma"_s, u"Delta"_s, u"Beta"_s, u"Epsilon"_s, u"Alpha"_s};
        // Twenty words of five letters, the k-th seen k times: the fifteen
        // most frequent are kept, most frequent first.
        QString text;
        QStringList fifteen;
        for (int i = 0; i < 20; ++i) {
            const QString word = QStringLiteral("W") + QString(4, QChar(u'a' + i));
            text += (word + u' ').repeated(i + 1);
            fifteen.prepend(word);
        }
        QTest::newRow("twenty candidates give fifteen") << text << fifteen.mid(0, 15);
    }

    void extractTerms()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, terms);
        TestDataFolder data;
        data.writeText(QStringLiteral("dictionary.txt"), QString());
        QCOMPARE(ScreenContext::extractTerms(text), terms);
    }

    void dictionaryWords()
    {
        TestDataFolder data;
        // 俯瞰図 and the filler fill 184 of the 185 characters; 渡邊 and ア
        // do not fit and are inactive.
        data.writeText(QStringLiteral("dictionary.txt"), u"俯瞰図\n"_s + u"あ"_s.repeated(180) + u"\n渡邊\nア\n"_s);
        // Active: never a term. Inactive: first, even once and short.
        QCOMPARE(ScreenContext::extractTerms(u"俯瞰図と俯瞰図、コンピュータ、渡邊"_s),
                 (QStringList{u"渡邊"_s, u"コンピュータ"_s}));
    }

    // Sayri's own window, no window, a window without a process, hints off:
    // the terms go empty and nothing is read.
    void noCaptureClearsWithoutReading()
    {
        Fixture f;
        f.tree->texts[7] = u"コンピュータ"_s;
        f.tree->texts[ownPid] = u"サイリの設定ウィンドウ"_s;
        int switchOns = 0;
        for (const auto& [app, hintsOn] : {std::pair{std::optional(appWithPid(ownPid)), true},
                                           {std::optional<FrontmostAppInfo>(), true},
                                           {std::optional(appWithPid(0)), true},
                                           {std::optional(appWithPid(7)), false}}) {
            Config::edit([](ConfigData& c) { c.screenHintEnabled = true; });
            QCOMPARE(f.captureOf(7), QStringList{u"コンピュータ"_s});
            const int calls = f.tree->calls, asked = f.frontmost->asked;
            switchOns = f.tree->switchOns;
            Config::edit([on = hintsOn](ConfigData& c) { c.screenHintEnabled = on; });
            f.frontmost->app = app;
            f.screen.capture();
            QCOMPARE(f.screen.currentTerms(), QStringList());
            QCOMPARE(f.screen.capturesRunning(), 0);
            QCOMPARE(f.tree->calls, calls);
            QCOMPARE(f.frontmost->asked, asked + int(hintsOn));
        }
        f.screen.prepare();
        QTest::qWait(50);
        QCOMPARE(f.tree->switchOns, switchOns);
    }

    void backgroundJob()
    {
        Fixture f;
        f.tree->texts[7] = u"コンピュータとサーバー、Kubernetes"_s;
        f.tree->texts[8] = u"ネットワーク"_s;
        f.tree->texts[9] = u"何もない"_s;

        // Both once and long enough; the longer first.
        const QStringList both{u"Kubernetes"_s, u"コンピュータ"_s};
        QCOMPARE(f.captureOf(7), both);
        QCOMPARE(f.tree->switchOns, 1);

        // While jobs run, readers see the previous terms; capture() returns at
        // once. The job that finishes last wins, even one without terms.
        f.tree->hold(9);
        f.tree->hold(8);
        f.frontmost->app = appWithPid(9);
        f.screen.capture();
        f.frontmost->app = appWithPid(8);
        f.screen.capture();
        QCOMPARE(f.screen.capturesRunning(), 2);
        QCOMPARE(f.screen.currentTerms(), both);
        f.tree->release(8);
        QTRY_COMPARE(f.screen.currentTerms(), QStringList{u"ネットワーク"_s});
        f.tree->release(9);
        QVERIFY(f.settled());
        QCOMPARE(f.screen.currentTerms(), QStringList());

        // An application that publishes nothing.
        QCOMPARE(f.captureOf(7), both);
        QCOMPARE(f.captureOf(10), QStringList());

        // The text read is never written anywhere.
        QVERIFY(!f.data.readText(QStringLiteral("sayri.log")).contains(u"サーバー"_s));
    }

    void accessibilityIsPutBackAsItWas()
    {
        const QString on = u"画面の文脈: デスクトップのアクセシビリティをオンにしました"_s;
        auto hints = [](bool v) { Config::edit([v](ConfigData& c) { c.screenHintEnabled = v; }); };
        std::shared_ptr<FakeWindowTexts> tree;
        {
            Fixture f;
            const QString marker = f.data.file(u"accessibility-switched-on"_s);
            tree = f.tree;
            f.screen.prepare();  // on already (the user's): left on when hints go off
            QTRY_COMPARE(tree->switchOns, 1);
            hints(false);
            f.screen.capture();
            QTest::qWait(50);
            QVERIFY(tree->a11yOn);
            for (const bool hintsOn : {true, false, true}) {  // off when Sayri found it
                tree->a11yOn = hintsOn ? false : tree->a11yOn.load();
                hints(hintsOn);
                hintsOn ? f.screen.prepareSoon() : f.screen.capture();
                QTRY_COMPARE(tree->a11yOn.load(), hintsOn);
                QCOMPARE(QFile::exists(marker), hintsOn);
            }
            QTRY_COMPARE(logMessages(),
                         (QStringList{on, u"画面の文脈: デスクトップのアクセシビリティを元のオフに戻しました"_s, on}));
        }
        QVERIFY(!tree->a11yOn);  // put back when Sayri ends

        // A Sayri killed while the switch was its own leaves it to the next start.
        Fixture f;
        f.data.writeText(u"accessibility-switched-on"_s, QString());
        f.tree->a11yOn = true;
        hints(false);
        ScreenContext next{f.tree, f.frontmost, ownPid};
        next.prepare();
        QTRY_VERIFY(!f.tree->a11yOn);
        QVERIFY(!QFile::exists(f.data.file(u"accessibility-switched-on"_s)));
    }

    // Random trees pass every limit (depth 12, 1 500 elements, 12 000 characters),
    // with elements not shown, single-child wrappers and repeated text (how
    // little a hundred thousand elements cost to read: tst_ScreenContextAtspi).
    void sameTextAsOneElementAtATime()
    {
        for (quint32 seed = 1; seed <= 150; ++seed) {
            FakeMemoryTree tree = randomTree(seed);
            const QString expected = referenceWalk(tree);
            QCOMPARE(walk(tree), expected);
            QVERIFY2(tree.rounds <= 25, qPrintable(QStringLiteral("seed %1: %2 rounds").arg(seed).arg(tree.rounds)));
        }
    }

    // The edges the random trees seldom meet exactly.
    void limitsOfTheWalk()
    {
        // Twelve levels with text, then wrappers down to level 24, then text:
        // read; one wrapper more and it is not.
        for (const int levels : {24, 25}) {
            FakeMemoryTree tree;
            int parent = tree.add(QStringLiteral("窓"));
            for (int level = 1; level < levels; ++level)
                parent = tree.addChild(parent, level <= 11 ? QStringLiteral("段%1").arg(level) : QString());
            tree.addChild(parent, QStringLiteral("奥"));
            QCOMPARE(walk(tree).endsWith(QStringLiteral("奥\n")), levels == 24);
        }

        // A text of exactly 12 000 characters still lets the next element in
        // (the real-bus test covers the text going past the limit).
        FakeMemoryTree full;
        full.add(QStringLiteral("あ").repeated(199));  // 200 with its line feed
        for (int k = 1; k <= 60; ++k)
            full.addChild(0, k < 60 ? QStringLiteral("い").repeated(199) : QStringLiteral("最後"));
        QVERIFY(walk(full).endsWith(QStringLiteral("最後\n")));

        // A tree that stops answering, or answers too slowly, gives nothing.
        FakeMemoryTree tree;
        tree.addChild(tree.addChild(tree.add(QStringLiteral("窓")), QStringLiteral("枠")), QStringLiteral("中身"));
        tree.answersLeft = 2;  // window and panel, then nothing
        QCOMPARE(walk(tree), QString());
        tree.answersLeft = -1;
        tree.delayMs = 40;
        ScreenContextWalk::Limits limits;
        limits.maxMilliseconds = 60;
        QCOMPARE(ScreenContextWalk::visibleText(tree, FakeMemoryTree::element(0), limits), QString());
        limits.maxMilliseconds = 5000;
        QCOMPARE(ScreenContextWalk::visibleText(tree, FakeMemoryTree::element(0), limits),
                 QStringLiteral("窓\n枠\n中身\n"));
    }
};

QTEST_GUILESS_MAIN(TestScreenContext)
#include "tst_ScreenContext.moc"
