#pragma once

#include "desktop/ScreenTerms.h"

#include <mutex>

// Hint terms read from the focused window through the accessibility bus.
class ScreenContext : public ScreenTerms {
public:
    void capture() override;
    QStringList currentTerms() const override;

private:
    mutable std::mutex lock_;
    QStringList currentTerms_;
};
