#pragma once

#include <QPoint>

// Real pointer events through XTest (global coordinates, left button), sent
// from a thread of their own with its own X connection while the caller's
// event loop keeps running, so that a drag's own event loop sees the moves
// and the release as it would a hand's. Each call returns once every event
// was sent and the application had time to take them.
namespace XTestPointer {

void click(QPoint at);
void doubleClick(QPoint at);
// Press at `from`, move to `to` in `steps` steps, pause, release.
void drag(QPoint from, QPoint to, int steps = 20);

}  // namespace XTestPointer
