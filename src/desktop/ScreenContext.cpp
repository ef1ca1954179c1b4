#include "desktop/ScreenContext.h"

// Until the accessibility reader lands no terms are read.
void ScreenContext::capture()
{
    std::lock_guard guard(lock_);
    currentTerms_.clear();
}

QStringList ScreenContext::currentTerms() const
{
    std::lock_guard guard(lock_);
    return currentTerms_;
}
