#pragma once

#include <QStringList>

// Hint terms read from the window in front when a recording starts.
class ScreenTerms {
public:
    virtual ~ScreenTerms() = default;
    // Starts reading in the background and returns at once.
    virtual void capture() = 0;
    // A copy of the current terms; safe from any thread.
    virtual QStringList currentTerms() const = 0;
    // Follows a change of the screen-hint setting (in the background).
    virtual void prepare() {}
};
