#pragma once

#include "platform/AccessibleTree.h"

#include <QString>

// The text a window shows, collected from its accessibility tree in the order
// a reader would meet it: each element's value and title, then its children in
// order, depth first. The collection is bounded:
//   - elements deeper than `maxDepth` below the window are not visited;
//   - no element is visited once `maxElements` have been;
//   - no element is visited once the text holds more than `maxText`
//     characters, and an element's remaining children are left once either
//     limit is reached;
//   - a value is used only below `valueLimit` characters, a title only below
//     `titleLimit`. A title equal to the element's value counts once.
// Every piece taken is followed by a line feed; characters are user-perceived.
//
// The tree is read in rounds, all elements of a round asked at once, and only
// the elements the bounded walk can still reach are asked for, so the result
// is exactly that of the one-element-at-a-time walk. When the tree stops
// answering, or the walk takes longer than `maxMilliseconds` in all, it gives
// up and the text is empty.
namespace ScreenContextWalk {

struct Limits {
    int maxDepth = 12;
    int maxElements = 1501;
    int maxText = 12000;
    int valueLimit = 4000;
    int titleLimit = 200;
    int maxMilliseconds = 5000;
};

QString visibleText(AccessibleTree& tree, const AccessibleElement& window, const Limits& limits = {});

}  // namespace ScreenContextWalk
