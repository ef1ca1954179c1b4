#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

// The one way to hop onto the main (GUI) thread. Work runs asynchronously in
// the main event loop, and only while `guard` still exists.
namespace MainThread {

void async(QObject* guard, std::function<void()> work);
// Runs `work` on the main thread after `seconds`, while `guard` still exists.
// May be called from any thread.
void after(double seconds, QObject* guard, std::function<void()> work);
bool isCurrent();

}  // namespace MainThread
