// Text: the transcript clean-up and joining, the terms screen-context hints
// pick out of a window's text, and the bounded walk over a window's tree.
#include "FakeAccessibleTrees.h"
#include "Fakes.h"
#include "LogFile.h"
#include "TestDataFolder.h"

#include "desktop/AccessibilitySwitch.h"
#include "desktop/ScreenContext.h"
#include "desktop/ScreenContextWalk.h"
#include "recognition/Transcript.h"
#include "store/Config.h"
#include "support/Graphemes.h"

#include <QtTest>

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

QString walk(FakeMemoryTree& tree)
{
    return ScreenContextWalk::visibleText(tree, FakeMemoryTree::element(0));
}

}  // namespace

class TestText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void clean_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("cleaned");
        QTest::newRow("standalone phrase alone") << u"ご視聴ありがとうございました。"_s << u""_s;
        QTest::newRow("standalone phrase after text")
            << u"今日は晴れです。ご視聴ありがとうございました"_s << u"今日は晴れです。"_s;
        QTest::newRow("trailing-only phrase alone is kept")
            << u"ありがとうございました"_s << u"ありがとうございました"_s;
        QTest::newRow("trailing-only phrase after text")
            << u"資料を送りました。ありがとうございました。"_s << u"資料を送りました。"_s;
        QTest::newRow("English upper case after text") << u"OK! THANKS FOR WATCHING!"_s << u"OK!"_s;
        QTest::newRow("fifth removal is not made")
            << u"本文。おわり。終わり。おしまい。おわり。おわり。"_s << u"本文。おわり。"_s;
        QTest::newRow("four removals then a lone standalone phrase stays")
            << u"ご視聴ありがとうございました。ありがとうございます。おわり！おしまい？終わり。"_s
            << u"ご視聴ありがとうございました。"_s;
        QTest::newRow("phrase inside a longer sentence")
            << u"本文。ご視聴ありがとうございましたね"_s << u"本文。ご視聴ありがとうございましたね"_s;
        QTest::newRow("full-width stop does not end a sentence")
            << u"本文．ご視聴ありがとうございました"_s << u"本文．ご視聴ありがとうございました"_s;
        QTest::newRow("trimming set around the last sentence")
            << u"本文。\u3000ご視聴ありがとうございました\u3000．！"_s << u"本文。"_s;
        QTest::newRow("line breaks end sentences, then lines join")
            << u"  今日は\n晴れです\n\nご視聴ありがとうございました\n"_s << u"今日は、晴れです"_s;
        QTest::newRow("only white space") << u" \u3000\n\t\n"_s << u""_s;
        QTest::newRow("terminators only") << u"。。！"_s << u"。。！"_s;
    }
    void clean()
    {
        QFETCH(QString, raw);
        QFETCH(QString, cleaned);
        QCOMPARE(Transcript::clean(raw), cleaned);
    }

    // How the model runs away when its window holds too little audio: one
    // phrase over and over to the end, at line breaks or not.
    void runsAway_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("runsAway");
        QTest::newRow("one character 16 times") << u"あ"_s.repeated(16) << true;
        QTest::newRow("one character 15 times") << u"今日は"_s + u"あ"_s.repeated(15) << false;
        QTest::newRow("short phrase 8 times, spaced") << u" です"_s.repeated(8) << true;
        QTest::newRow("short phrase 3 times") << u"ありがとう"_s.repeated(3) << false;
        QTest::newRow("short phrase 4 times") << u"会議は"_s + u"ありがとう"_s.repeated(4) << true;
        QTest::newRow("line 3 times") << u" 今日は晴れです。\n"_s.repeated(3) << true;
        QTest::newRow("line twice") << u"今日は晴れです。\n"_s.repeated(2) << false;
        QTest::newRow("repeats before other words") << u"はい"_s.repeated(10) + u"、わかりました"_s << false;
        QTest::newRow("laughter") << u"あはははは、面白い"_s << false;
        QTest::newRow("phrase of 41 characters") << (u"あ"_s.repeated(40) + u"い"_s).repeated(3) << false;
    }
    void runsAway()
    {
        QFETCH(QString, text);
        QTEST(Transcript::runsAway(text), "runsAway");
    }

    void seam_data()
    {
        QTest::addColumn<QString>("prev");
        QTest::addColumn<QString>("next");
        QTest::addColumn<QString>("seam");
        QTest::newRow("2 ASCII meets ASCII") << u"Mac"_s << u"OS"_s << u" "_s;
        QTest::newRow("2 before the short-line rule") << u"ver9"_s << u"0"_s << u" "_s;
        QTest::newRow("3 punctuation last") << u"会議です。"_s << u"資料は後で"_s << u""_s;
        QTest::newRow("4 punctuation first") << u"会議です"_s << u"…資料は後で"_s << u""_s;
        QTest::newRow("5 continuation") << u"会議です"_s << u"を送ります"_s << u""_s;
        QTest::newRow("5 continuation longer prefix") << u"資料を送りました"_s << u"ましたら連絡"_s << u""_s;
        QTest::newRow("6 one character, several code units") << u"会議です"_s << u"👍🏽"_s << u""_s;
        QTest::newRow("8 new start after sentence end") << u"会議です"_s << u"また明日"_s << u"。"_s;
        QTest::newRow("8 new start mid-sentence") << u"会議の件"_s << u"それから資料"_s << u"、"_s;
        QTest::newRow("9 sentence end") << u"明日は会議です"_s << u"資料は後で送ります"_s << u"。"_s;
        QTest::newRow("10 comma form") << u"会議ですが"_s << u"資料は後で送ります"_s << u"、"_s;
        QTest::newRow("11 comma character") << u"雨が降って"_s << u"出かけた"_s << u"、"_s;
        QTest::newRow("11 needs more than one character") << u"て"_s << u"出かけた"_s << u""_s;
        QTest::newRow("12 conjunction") << u"なお"_s << u"資料は後で"_s << u"、"_s;
        QTest::newRow("13 otherwise") << u"会議に"_s << u"行きます"_s << u""_s;
        QTest::newRow("prefix is a whole character") << u"会議です"_s << u"は\u309Aソコン"_s << u"。"_s;
        QTest::newRow("last is a whole character") << u"雨が降って\u3099"_s << u"出かけた"_s << u""_s;
    }
    void seam()
    {
        QFETCH(QString, prev);
        QFETCH(QString, next);
        QFETCH(QString, seam);
        QCOMPARE(Transcript::継ぎ目(prev, next), seam);
    }

    // Joining looks only at the end of the text so far, however long, yet
    // sees an ending spread over several short lines; it trims blanks only,
    // and odd characters pass.
    void joinLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("joined");
        const QString before = u"前置き"_s.repeated(400);
        QTest::newRow("after a long text") << before + u"\n会議\nです\nまた明日"_s << before + u"会議です。また明日"_s;
        QTest::newRow("an ending over short lines")
            << u"で\nし\nょ\nう\nか\n資料は後で"_s << u"でしょうか。資料は後で"_s;
        QTest::newRow("blanks around lines go, other characters stay")
            << u" \t会議\u3000\u00A0\n\u2003です\u0085\n"_s << u"会議です\u0085"_s;
        QTest::newRow("one character first") << u"て\n出かけた"_s << u"て出かけた"_s;
        QTest::newRow("marks, controls, lone surrogates")
            << u"\xD800会議\n\u3099です\u200D\n\u0000\u001B\n\uFEFFまた👍🏽🇯🇵"_s
            << u"\xD800会議\u3099です\u200D\u0000\u001B\uFEFFまた👍🏽🇯🇵"_s;
    }
    void joinLines()
    {
        QFETCH(QString, text);
        QFETCH(QString, joined);
        QCOMPARE(Transcript::joinLines(text), joined);
        QCOMPARE(Transcript::joinLines(joined), joined);
    }

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

    // Sayri's own window, no window, a window without a process, one of a
    // program on another computer (ssh -X), hints off: the terms go empty and
    // nothing is read.
    void noCaptureClearsWithoutReading()
    {
        Fixture f;
        f.tree->texts[7] = u"コンピュータ"_s;
        f.tree->texts[ownPid] = u"サイリの設定ウィンドウ"_s;
        for (const auto& [app, hintsOn] : {std::pair{std::optional(appWithPid(ownPid)), true},
                                           {std::optional<FrontmostAppInfo>(), true},
                                           {std::optional(appWithPid(0)), true},
                                           {FrontmostAppInfo{7, {}, {}, {}, {}, true}, true},
                                           {std::optional(appWithPid(7)), false}}) {
            Config::edit([](ConfigData& c) { c.screenHintEnabled = true; });
            QCOMPARE(f.captureOf(7), QStringList{u"コンピュータ"_s});
            const int calls = f.tree->calls, asked = f.frontmost->asked;
            Config::edit([on = hintsOn](ConfigData& c) { c.screenHintEnabled = on; });
            f.frontmost->app = app;
            f.screen.capture();
            QCOMPARE(f.screen.currentTerms(), QStringList());
            QCOMPARE(f.screen.capturesRunning(), 0);
            QCOMPARE(f.tree->calls, calls);
            QCOMPARE(f.frontmost->asked, asked + int(hintsOn));
        }
        QCOMPARE(logMessages().filter(u"別のコンピュータ"_s).size(), 1);
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

        // An application that publishes nothing (one in a sandbox): said once.
        QCOMPARE(f.captureOf(7), both);
        QCOMPARE(f.captureOf(10), QStringList());
        QCOMPARE(f.captureOf(10), QStringList());
        QCOMPARE(logMessages().filter(u"アクセシビリティに見つからない"_s).size(), 1);

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
            tree->texts[7] = u"コンピュータ"_s;
            f.captureOf(7);  // on already (the user's): left on when hints go off
            hints(false);
            f.screen.capture();
            QTest::qWait(50);
            QVERIFY(tree->a11yOn);
            // Off when Sayri starts: off until the first capture needs it.
            tree->a11yOn = false;
            hints(true);
            f.screen.putBackLeftOverSoon();
            f.screen.prepare();
            QTest::qWait(100);
            QVERIFY(!tree->a11yOn);
            for (const bool hintsOn : {true, false, true}) {
                hints(hintsOn);
                hintsOn ? (void)f.captureOf(7) : f.screen.capture();
                QTRY_COMPARE(tree->a11yOn.load(), hintsOn);
                QCOMPARE(QFile::exists(marker), hintsOn);
            }
            QTRY_COMPARE(logMessages().filter(u"アクセシビリティ"_s),
                         (QStringList{on, u"画面の文脈: デスクトップのアクセシビリティを元のオフに戻しました"_s, on}));
        }
        QVERIFY(!tree->a11yOn);  // put back when Sayri ends

        // The mark of a killed Sayri (or an empty one of earlier versions) is put back at the
        // next start; that of a Sayri still running, on another display, is left alone.
        TestDataFolder data;
        const QString marker = data.file(u"accessibility-switched-on"_s);
        QProcess running;
        running.start(u"sleep"_s, {u"60"_s});
        QVERIFY(running.waitForStarted());
        const QString host = u"\n"_s + QSysInfo::machineHostName() + u"\n"_s;
        for (const auto& [mark, putBack] :
             {std::pair{QString::number(running.processId()) + u"\nsleep"_s + host, false},
              {u"999999999\nsayri"_s + host, true},
              {QString(), true}}) {
            data.writeText(u"accessibility-switched-on"_s, mark);
            tree->a11yOn = true;
            AccessibilitySwitch(tree).putBackLeftOver();
            QCOMPARE(tree->a11yOn.load(), !putBack);
            QCOMPARE(QFile::exists(marker), !putBack);
        }
        running.kill();
        running.waitForFinished();
    }

    // What the walk reads, and how deep: hidden elements and what they hold,
    // text an enclosing element shows already, pieces too long, the last of
    // 1 501 elements (the window and 1 500 more), the last of twelve levels
    // a reader notices, the edges of the level and text limits, and a tree
    // that fails to answer.
    void rulesAndLimitsOfTheWalk()
    {
        FakeMemoryTree tree;
        const int window = tree.add(u"窓"_s);
        const int hidden = tree.addChild(window, u"隠れた枠"_s);
        tree.nodes[hidden].shown = false;
        tree.addChild(hidden, u"隠れた語"_s);
        const int label = tree.addChild(window, u"見出し"_s, u"見出し"_s);  // a title equal to its value
        tree.addChild(label, u"本文"_s, u"窓"_s);                           // a value the window shows
        tree.addChild(window, u"字"_s.repeated(200), u"あ"_s.repeated(4000));
        tree.addChild(window, u"字"_s.repeated(199), u"あ"_s.repeated(3999));
        QCOMPARE(walk(tree),
                 u"窓\n見出し\n本文\n"_s + u"あ"_s.repeated(3999) + u"\n"_s + u"字"_s.repeated(199) + u"\n"_s);

        FakeMemoryTree bush;
        bush.add(u"窓"_s);
        for (int k = 1; k <= 1501; ++k)
            bush.addChild(0, u"子%1"_s.arg(k));
        QVERIFY(walk(bush).endsWith(u"子1500\n"_s));
        QCOMPARE(bush.rounds, 2);  // the window, then all its children at once

        // 1 500 elements of 1 500: the first one's children up to the limit, no other's asked for.
        FakeMemoryTree wide;
        wide.add(u"窓"_s);
        const QList<int> leaves(1500, wide.add(u"葉"_s));
        for (int k = 1; k <= 1500; ++k)
            wide.nodes[wide.addChild(0, u"子%1"_s.arg(k))].children = leaves;
        const QString text = walk(wide);
        QVERIFY2(wide.handedOut < 3100, qPrintable(QString::number(wide.handedOut)));
        QCOMPARE(text.count(u"葉"_s), 1499);

        // A chain with text on every level but two: a title its parent shows
        // (still a level) and one too long to show (a wrapper, no level). The
        // last level read holds three elements.
        FakeMemoryTree chain;
        QString expected;
        for (int n = 0; n <= 14; ++n) {
            const QString title = n == 5 ? u"段4"_s : n == 6 ? u"字"_s.repeated(200) : u"段%1"_s.arg(n);
            n == 0 ? chain.add(title) : chain.addChild(n - 1, title);
            if (n != 5 && n != 6 && n < 14)
                expected += title + u'\n';
        }
        chain.addChild(12, u"末1"_s);
        chain.addChild(12, u"末2"_s);
        QCOMPARE(walk(chain), expected + u"末1\n末2\n"_s);

        // Twelve levels with text, then wrappers down to level 24, then text:
        // read; one wrapper more and it is not.
        for (const int levels : {24, 25}) {
            FakeMemoryTree deep;
            int parent = deep.add(QStringLiteral("窓"));
            for (int level = 1; level < levels; ++level)
                parent = deep.addChild(parent, level <= 11 ? QStringLiteral("段%1").arg(level) : QString());
            deep.addChild(parent, QStringLiteral("奥"));
            QCOMPARE(walk(deep).endsWith(QStringLiteral("奥\n")), levels == 24);
        }

        // A text of exactly 12 000 characters still lets the next element in
        // (the real-bus test covers the text going past the limit).
        FakeMemoryTree full;
        full.add(QStringLiteral("あ").repeated(199));  // 200 with its line feed
        for (int k = 1; k <= 60; ++k)
            full.addChild(0, k < 60 ? QStringLiteral("い").repeated(199) : QStringLiteral("最後"));
        QVERIFY(walk(full).endsWith(QStringLiteral("最後\n")));

        // A tree that stops answering, or answers too slowly, gives nothing.
        FakeMemoryTree slow;
        slow.addChild(slow.addChild(slow.add(QStringLiteral("窓")), QStringLiteral("枠")), QStringLiteral("中身"));
        slow.answersLeft = 2;  // window and panel, then nothing
        QCOMPARE(walk(slow), QString());
        slow.answersLeft = -1;
        slow.delayMs = 40;
        ScreenContextWalk::Limits limits;
        limits.maxMilliseconds = 60;
        QCOMPARE(ScreenContextWalk::visibleText(slow, FakeMemoryTree::element(0), limits), QString());
        limits.maxMilliseconds = 5000;
        QCOMPARE(ScreenContextWalk::visibleText(slow, FakeMemoryTree::element(0), limits),
                 QStringLiteral("窓\n枠\n中身\n"));
    }
};

QTEST_GUILESS_MAIN(TestText)
#include "tst_Text.moc"
