#pragma once

#include "platform/AccessibleTree.h"
#include "support/Graphemes.h"

#include <QMap>
#include <QSet>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

// A fake accessibility tree for unit tests: each process id shows
// one window holding one text. Reads can be held until released, and every
// call is counted.
class FakeWindowTexts : public AccessibleTree {
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
    Window activeWindow(qint64 pid) override
    {
        ++calls;
        std::unique_lock l(m_);
        cv_.wait(l, [&] { return !held_.contains(pid); });
        if (!texts.contains(pid))
            return {std::nullopt, false};
        return {AccessibleElement{QString::number(pid), QStringLiteral("/window")}};
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

// A fake accessibility tree held in memory, for unit tests. It gives
// out exactly what it is asked for (no more children than allotted), so a
// walk that asks for too little reads too little.
class FakeMemoryTree : public AccessibleTree {
public:
    struct Node {
        QString title;
        QString value;
        QList<int> children;
        bool shown = true;
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
    Window activeWindow(qint64) override { return {element(0)}; }
    std::optional<QList<AccessibleFacts>> read(const QList<Ask>& asks, int valueLimit) override
    {
        ++rounds;
        if (answersLeft == 0)
            return std::nullopt;
        --answersLeft;
        if (delayMs > 0)
            QThread::msleep(delayMs);
        const auto node = [&](const Ask& a) -> const Node& { return nodes[a.element.path.toInt()]; };
        QList<qint64> available;
        for (const Ask& a : asks)
            available.append(node(a).shown ? node(a).children.size() : 0);
        const QList<int> given = childrenGiven(asks, available);
        QList<AccessibleFacts> out;
        for (qsizetype i = 0; i < asks.size(); ++i) {
            const Node& n = node(asks[i]);
            AccessibleFacts f;
            f.title = n.title;
            f.shown = n.shown;
            if (!n.value.isEmpty() && Graphemes::count(n.value) < valueLimit)
                f.value = n.value;
            for (int c = 0; c < given[i]; ++c)
                f.children.append(element(n.children[c]));
            handedOut += given[i];
            out.append(f);
        }
        return out;
    }

    QList<Node> nodes;
    int rounds = 0;
    qint64 handedOut = 0;  // children handed out in all
    int answersLeft = -1;  // rounds answered before the tree stops answering; -1 for ever
    int delayMs = 0;
};
