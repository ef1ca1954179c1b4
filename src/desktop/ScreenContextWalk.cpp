#include "desktop/ScreenContextWalk.h"

#include "support/Graphemes.h"

#include <QDeadlineTimer>

#include <vector>

namespace ScreenContextWalk {

namespace {

struct Node {
    explicit Node(AccessibleElement e) : element(std::move(e)) {}
    AccessibleElement element;
    bool read = false;
    QString value;   // empty when absent or over the limit
    QString title;   // likewise
    int valueCount = 0;  // characters the value adds, its line feed included
    int titleCount = 0;
    std::vector<int> children;  // indices into the node list
};

struct Pending {
    int node;
    int depth;
    int visitedAtEntry;
};

// One pass of the bounded walk over what is known of the tree. An element not
// read yet counts as visited, with no text and no children: the counts seen
// by every later element can then only be lower than in the real tree, so an
// element this pass does not reach is never reached at all, and a pass that
// meets no unread element is the real walk.
class Pass {
public:
    Pass(const std::vector<Node>& nodes, const Limits& limits) : nodes_(nodes), limits_(limits) {}

    void collect(int index, int depth)
    {
        if (depth > limits_.maxDepth || visited_ >= limits_.maxElements || textCount_ > limits_.maxText)
            return;
        ++visited_;
        const Node& node = nodes_[size_t(index)];
        if (!node.read) {
            pending_.push_back({index, depth, visited_});
            return;
        }
        if (!node.value.isEmpty()) {
            text_ += node.value + u'\n';
            textCount_ += node.valueCount;
        }
        if (!node.title.isEmpty()) {
            text_ += node.title + u'\n';
            textCount_ += node.titleCount;
        }
        for (int child : node.children) {
            collect(child, depth + 1);
            if (visited_ >= limits_.maxElements || textCount_ > limits_.maxText)
                break;
        }
    }

    const std::vector<Pending>& pending() const { return pending_; }
    const QString& text() const { return text_; }

private:
    const std::vector<Node>& nodes_;
    const Limits& limits_;
    int visited_ = 0;
    int textCount_ = 0;
    QString text_;
    std::vector<Pending> pending_;
};

// Characters a piece adds to the text together with its line feed. A piece
// ending in a carriage return joins the line feed into one character.
int countWithLineFeed(const QString& piece)
{
    return Graphemes::count(piece + u'\n');
}

}  // namespace

QString visibleText(AccessibleTree& tree, const AccessibleElement& window, const Limits& limits)
{
    const QDeadlineTimer deadline(limits.maxMilliseconds);
    std::vector<Node> nodes;
    nodes.emplace_back(window);
    for (;;) {
        Pass pass(nodes, limits);
        pass.collect(0, 0);
        if (pass.pending().empty())
            return pass.text();

        // An element entered as the n-th visited can have at most
        // maxElements - n of its children visited after it.
        QList<AccessibleTree::Ask> asks;
        asks.reserve(qsizetype(pass.pending().size()));
        for (const Pending& p : pass.pending()) {
            const int children = p.depth < limits.maxDepth ? qMax(0, limits.maxElements - p.visitedAtEntry) : 0;
            asks.append({nodes[size_t(p.node)].element, children});
        }
        const std::optional<QList<AccessibleFacts>> facts = tree.read(asks, limits.valueLimit);
        if (!facts || facts->size() != asks.size() || deadline.hasExpired())
            return {};

        for (size_t i = 0; i < pass.pending().size(); ++i) {
            const int index = pass.pending()[i].node;
            const AccessibleFacts& f = (*facts)[qsizetype(i)];
            Node& node = nodes[size_t(index)];
            node.read = true;
            if (f.value && !f.value->isEmpty() && Graphemes::count(*f.value) < limits.valueLimit) {
                node.value = *f.value;
                node.valueCount = countWithLineFeed(node.value);
            }
            if (!f.title.isEmpty() && f.title != node.value && Graphemes::count(f.title) < limits.titleLimit) {
                node.title = f.title;
                node.titleCount = countWithLineFeed(node.title);
            }
            const qsizetype childCount = qMin<qsizetype>(f.children.size(), asks[qsizetype(i)].maxChildren);
            std::vector<int> children;
            children.reserve(size_t(childCount));
            for (qsizetype c = 0; c < childCount; ++c) {
                children.push_back(int(nodes.size()));
                nodes.emplace_back(f.children[c]);
            }
            // `node` may have moved while the list grew.
            nodes[size_t(index)].children = std::move(children);
        }
    }
}

}  // namespace ScreenContextWalk
