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
    bool shown = true;
    bool document = false;
    bool withheld = false;
    QString shownValue;  // what it shows, within the limits
    QString shownTitle;
    QString value;       // what it adds: empty when absent, over the limit or its parent's
    QString title;       // likewise
    int valueCount = 0;  // characters the value adds, its line feed included
    int titleCount = 0;
    std::vector<int> children;  // indices into the node list

    // A level a reader does not notice: it shows nothing itself and holds
    // one element.
    bool wrapper() const
    {
        return read && shown && !document && shownValue.isEmpty() && shownTitle.isEmpty() && children.size() == 1;
    }
};

struct Pending {
    int node;
    int depth;
    int level;
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

    // `depth` counts the levels a reader notices, `level` every one.
    void collect(int index, int depth, int level = 0, bool inDocument = false)
    {
        if (depth > limits_.maxDepth || level > 2 * limits_.maxDepth || visited_ >= limits_.maxElements
            || textCount_ > limits_.maxText)
            return;
        ++visited_;
        const Node& node = nodes_[size_t(index)];
        if (!node.read) {
            pending_.push_back({index, depth, level, visited_});
            return;
        }
        withheld_ = withheld_ || node.withheld;
        if (!node.shown)
            return;
        inDocument = inDocument || node.document;
        documentMet_ = documentMet_ || node.document;
        for (const auto& [piece, count] :
             {std::pair(&node.value, node.valueCount), std::pair(&node.title, node.titleCount)}) {
            if (piece->isEmpty())
                continue;
            text_ += *piece + u'\n';
            if (inDocument)
                documentText_ += *piece + u'\n';
            textCount_ += count;
        }
        const int childDepth = node.wrapper() ? depth : depth + 1;
        for (int child : node.children) {
            collect(child, childDepth, level + 1, inDocument);
            if (visited_ >= limits_.maxElements || textCount_ > limits_.maxText)
                break;
        }
    }

    const std::vector<Pending>& pending() const { return pending_; }
    // What a reader sees: in a window showing a document, the documents.
    const QString& text() const { return documentMet_ ? documentText_ : text_; }
    bool withheld() const { return withheld_; }

private:
    const std::vector<Node>& nodes_;
    const Limits& limits_;
    int visited_ = 0;
    int textCount_ = 0;
    QString text_;
    QString documentText_;
    bool documentMet_ = false;
    bool withheld_ = false;
    std::vector<Pending> pending_;
};

// Characters a piece adds to the text together with its line feed. A piece
// ending in a carriage return joins the line feed into one character.
int countWithLineFeed(const QString& piece)
{
    return Graphemes::count(piece + u'\n');
}

}  // namespace

QString visibleText(AccessibleTree& tree, const AccessibleElement& window, const Limits& limits, bool* withheld)
{
    const QDeadlineTimer deadline(limits.maxMilliseconds);
    std::vector<Node> nodes;
    nodes.emplace_back(window);
    std::vector<int> parents{-1};
    if (withheld)
        *withheld = false;
    for (;;) {
        Pass pass(nodes, limits);
        pass.collect(0, 0);
        if (pass.pending().empty()) {
            if (withheld)
                *withheld = pass.withheld();
            return pass.text();
        }

        // An element entered as the n-th visited can have at most
        // maxElements - n of its children visited after it, less the
        // children of the elements met before it in this round, which are
        // all visited before it: one budget for the round, so a window of
        // many wide elements asks for about maxElements children, not that
        // many for each. Two tell whether an element on the last level holds
        // exactly one, which then stays on its level.
        QList<AccessibleTree::Ask> asks;
        asks.reserve(qsizetype(pass.pending().size()));
        for (const Pending& p : pass.pending()) {
            const bool deeper = p.depth < limits.maxDepth && p.level < 2 * limits.maxDepth;
            const int children = deeper ? limits.maxElements - p.visitedAtEntry : 0;
            asks.append({nodes[size_t(p.node)].element, qMax(2, children), deeper});
        }
        const std::optional<QList<AccessibleFacts>> facts = tree.read(asks, limits.valueLimit);
        if (!facts || facts->size() != asks.size() || deadline.hasExpired())
            return {};

        for (size_t i = 0; i < pass.pending().size(); ++i) {
            const int index = pass.pending()[i].node;
            const AccessibleFacts& f = (*facts)[qsizetype(i)];
            Node& node = nodes[size_t(index)];
            node.read = true;
            node.shown = f.shown;
            node.document = f.document;
            node.withheld = f.withheld;
            if (f.value && !f.value->isEmpty() && Graphemes::count(*f.value) < limits.valueLimit)
                node.shownValue = *f.value;
            if (!f.title.isEmpty() && Graphemes::count(f.title) < limits.titleLimit)
                node.shownTitle = f.title;
            // What an enclosing element shows already is one text on screen,
            // read twice (a button named after its label).
            const auto fromAbove = [&](const QString& piece) {
                for (int a = parents[size_t(index)]; a >= 0; a = parents[size_t(a)])
                    if (piece == nodes[size_t(a)].shownValue || piece == nodes[size_t(a)].shownTitle)
                        return true;
                return false;
            };
            if (!node.shownValue.isEmpty() && !fromAbove(node.shownValue)) {
                node.value = node.shownValue;
                node.valueCount = countWithLineFeed(node.value);
            }
            if (!node.shownTitle.isEmpty() && node.shownTitle != node.shownValue && !fromAbove(node.shownTitle)) {
                node.title = node.shownTitle;
                node.titleCount = countWithLineFeed(node.title);
            }
            const qsizetype childCount =
                f.shown ? qMin<qsizetype>(f.children.size(), asks[qsizetype(i)].maxChildren) : 0;
            std::vector<int> children;
            children.reserve(size_t(childCount));
            for (qsizetype c = 0; c < childCount; ++c) {
                children.push_back(int(nodes.size()));
                nodes.emplace_back(f.children[c]);
                parents.push_back(index);
            }
            // `node` may have moved while the list grew.
            nodes[size_t(index)].children = std::move(children);
        }
    }
}

}  // namespace ScreenContextWalk
