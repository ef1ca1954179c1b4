// The bounded walk over a window's accessibility tree, read in rounds, against
// the same walk done one element at a time, on an in-memory tree.
#include "desktop/ScreenContextWalk.h"
#include "support/Graphemes.h"

#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <functional>

namespace {

// A fake accessibility tree held in memory, for this unit test only. It gives
// out exactly what it is asked for (no more children than asked), so a walk
// that asks for too little reads too little.
class MemoryTree : public AccessibleTree {
public:
    struct Node {
        QString title;
        QString value;
        QList<int> children;
    };

    int add(QString title = {}, QString value = {})
    {
        nodes.append({std::move(title), std::move(value), {}});
        return int(nodes.size() - 1);
    }
    int addChild(int parent, QString title = {}, QString value = {})
    {
        const int n = add(std::move(title), std::move(value));
        nodes[parent].children.append(n);
        return n;
    }
    static AccessibleElement element(int n) { return {QStringLiteral("app"), QString::number(n)}; }

    std::optional<bool> accessibilityOn() override { return true; }
    bool setAccessibilityOn(bool) override { return true; }
    std::optional<AccessibleElement> activeWindow(qint64) override { return element(0); }
    std::optional<QList<AccessibleFacts>> read(const QList<Ask>& asks, int valueLimit) override
    {
        ++rounds;
        if (answersLeft == 0)
            return std::nullopt;
        --answersLeft;
        if (delayMs > 0)
            QThread::msleep(delayMs);
        QList<AccessibleFacts> out;
        for (const Ask& a : asks) {
            ++elementsRead;
            const Node& n = nodes[a.element.path.toInt()];
            AccessibleFacts f;
            f.title = n.title;
            if (!n.value.isEmpty() && Graphemes::count(n.value) < valueLimit)
                f.value = n.value;
            for (int c = 0; c < n.children.size() && c < a.maxChildren; ++c)
                f.children.append(element(n.children[c]));
            out.append(f);
        }
        return out;
    }

    QList<Node> nodes;
    int rounds = 0;
    int elementsRead = 0;
    int answersLeft = -1;  // rounds answered before the tree stops answering; -1 for ever
    int delayMs = 0;
};

// The walk as written for one element at a time.
QString referenceWalk(const MemoryTree& tree)
{
    QString text;
    int count = 0;
    int visited = 0;
    auto add = [&](const QString& piece) {
        text += piece + u'\n';
        count += Graphemes::count(piece + u'\n');
    };
    std::function<void(int, int)> collect = [&](int index, int depth) {
        if (depth > 12 || visited > 1500 || count > 12000)
            return;
        ++visited;
        const MemoryTree::Node& n = tree.nodes[index];
        const bool value = !n.value.isEmpty() && Graphemes::count(n.value) < 4000;
        if (value)
            add(n.value);
        if (!n.title.isEmpty() && Graphemes::count(n.title) < 200 && !(value && n.title == n.value))
            add(n.title);
        for (int child : n.children) {
            collect(child, depth + 1);
            if (visited >= 1501 || count >= 12001)
                break;
        }
    };
    collect(0, 0);
    return text;
}

QString walk(MemoryTree& tree)
{
    return ScreenContextWalk::visibleText(tree, MemoryTree::element(0));
}

QString repeated(const QString& unit, int n)
{
    QString s;
    for (int i = 0; i < n; ++i)
        s += unit;
    return s;
}

// A random tree: shapes from chains to bushes, pieces of text of every size
// around the limits, some of many code units per character.
MemoryTree randomTree(quint32 seed)
{
    QRandomGenerator rng(seed);
    MemoryTree tree;
    const int size = 1 + int(rng.bounded(4000));
    const int fanout = 1 + int(rng.bounded(40));
    auto piece = [&]() -> QString {
        switch (rng.bounded(9)) {
        case 0: return {};
        case 1: return repeated(QStringLiteral("あ"), 3990 + int(rng.bounded(20)));
        case 2: return repeated(QStringLiteral("字"), 190 + int(rng.bounded(20)));
        case 3: return repeated(QStringLiteral("\U0001F468\u200D\U0001F469"), 1 + int(rng.bounded(300)));
        case 4: return QStringLiteral("行末\r");
        default: return QStringLiteral("語%1").arg(rng.bounded(100000));
        }
    };
    tree.add(piece(), piece());
    for (int i = 1; i < size; ++i) {
        // Half bushy (any earlier element), half chains (one of the last few).
        const int parent = rng.bounded(2) ? int(rng.bounded(quint32(i)))
                                          : qMax(0, i - 1 - int(rng.bounded(quint32(fanout))));
        QString title = piece();
        QString value = rng.bounded(5) == 0 ? title : piece();
        tree.addChild(parent, title, value);
    }
    return tree;
}

}  // namespace

class TestScreenContextWalk : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Random trees pass every limit (depth 12, 1 500 elements, 12 000 characters).
    void sameTextAsOneElementAtATime()
    {
        for (quint32 seed = 1; seed <= 150; ++seed) {
            MemoryTree tree = randomTree(seed);
            const QString expected = referenceWalk(tree);
            QCOMPARE(walk(tree), expected);
            QVERIFY2(tree.rounds <= 13, qPrintable(QStringLiteral("seed %1: %2 rounds").arg(seed).arg(tree.rounds)));
        }
    }

    void elementLimit()
    {
        MemoryTree tree;
        tree.add(QStringLiteral("窓"));
        for (int i = 1; i <= 100000; ++i)
            tree.addChild(0, QStringLiteral("項目%1").arg(i));
        const QStringList lines = walk(tree).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1501);
        QCOMPARE(lines.last(), QStringLiteral("項目1500"));
        // Only what the walk can reach is read, not the hundred thousand.
        QCOMPARE(tree.elementsRead, 1501);
    }

    void textLimitTestedBeforeEachElement()
    {
        // A text of exactly 12 000 characters still lets the next element in
        // (the real-bus test covers the text going past the limit).
        MemoryTree tree;
        tree.add(repeated(QStringLiteral("あ"), 199));  // 200 with its line feed
        for (int k = 1; k <= 60; ++k)
            tree.addChild(0, k < 60 ? repeated(QStringLiteral("い"), 199) : QStringLiteral("最後"));
        QVERIFY(walk(tree).endsWith(QStringLiteral("最後\n")));
    }

    void givesUpWhenTheTreeStopsAnswering()
    {
        MemoryTree tree;
        tree.add(QStringLiteral("窓"));
        const int panel = tree.addChild(0, QStringLiteral("枠"));
        tree.addChild(panel, QStringLiteral("中身"));
        tree.answersLeft = 2;  // window and panel, then nothing
        QCOMPARE(walk(tree), QString());

        MemoryTree slow;
        slow.add(QStringLiteral("窓"));
        slow.addChild(slow.addChild(0, QStringLiteral("枠")), QStringLiteral("中身"));
        slow.delayMs = 40;
        ScreenContextWalk::Limits limits;
        limits.maxMilliseconds = 60;
        QCOMPARE(ScreenContextWalk::visibleText(slow, MemoryTree::element(0), limits), QString());
        limits.maxMilliseconds = 5000;
        QCOMPARE(ScreenContextWalk::visibleText(slow, MemoryTree::element(0), limits), QStringLiteral("窓\n枠\n中身\n"));
    }
};

QTEST_GUILESS_MAIN(TestScreenContextWalk)
#include "tst_ScreenContextWalk.moc"
