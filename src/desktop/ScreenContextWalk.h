#pragma once

#include "platform/AccessibleTree.h"

#include <QString>

// The text a window shows, collected from its accessibility tree in the order
// a reader would meet it: each element's value and title, then its children in
// order, depth first. Only what the user sees is read: an element not shown
// (see AccessibleFacts::shown) counts as visited, and nothing of it or below
// it is taken. In a window showing a document (a browser, an office suite),
// the text is that of its documents alone, without the application's own
// toolbars and tabs.
// The collection is bounded:
//   - elements deeper than `maxDepth` below the window are not visited; an
//     element that shows nothing itself and holds a single element is not a
//     level of its own (its child stays on its level), but no element more
//     than twice `maxDepth` levels below the window is visited;
//   - no element is visited once `maxElements` have been;
//   - no element is visited once the text holds more than `maxText`
//     characters, and an element's remaining children are left once either
//     limit is reached;
//   - a value is used only below `valueLimit` characters, a title only below
//     `titleLimit`. A title equal to the element's value counts once, and so
//     does a value or title equal to one of an enclosing element's (a button
//     and its label, a paragraph and its run of text).
// Every piece taken is followed by a line feed; characters are user-perceived.
//
// The tree is read in rounds, all elements of a round asked at once, and only
// the elements the bounded walk can still reach are asked for, so the result
// is exactly that of the one-element-at-a-time walk. When the tree stops
// answering, or the walk takes longer than `maxMilliseconds` in all, it gives
// up and the text is empty. `withheld`, when given, tells whether an element
// met kept its contents from assistive technology.
namespace ScreenContextWalk {

struct Limits {
    int maxDepth = 12;
    int maxElements = 1501;
    int maxText = 12000;
    int valueLimit = 4000;
    int titleLimit = 200;
    int maxMilliseconds = 5000;
};

QString visibleText(AccessibleTree& tree, const AccessibleElement& window, const Limits& limits = {},
                    bool* withheld = nullptr);

}  // namespace ScreenContextWalk
