#pragma once

#include "platform/KeySource.h"

// A key source for unit tests: delivers the events the test sends.
class FakeKeySource : public KeySource {
public:
    bool open() override { return open_ = true; }
    bool isOpen() const override { return open_; }
    void enable() override {}
    bool hasKey(std::int64_t) const override { return true; }
    void send(std::uint32_t type, std::int64_t code, std::uint64_t flags) { onEvent(KeyEvent{type, code, flags}); }

private:
    bool open_ = false;
};
