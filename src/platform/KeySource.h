#pragma once

#include <cstdint>
#include <functional>
#include <vector>

// One event of the global keyboard source, in the terms the trigger-key rules
// are written in: macOS event types, virtual key codes and event-flag masks.
// A backend translates its own events into these, so the rules above the
// platform layer never see a platform key number.
struct KeyEvent {
    std::uint32_t type = 0;
    std::int64_t keyCode = 0;
    std::uint64_t flags = 0;
};

namespace KeyEventType {
inline constexpr std::uint32_t keyDown = 10;
inline constexpr std::uint32_t flagsChanged = 12;
// The source stopped delivering and asks to be enabled again.
inline constexpr std::uint32_t disabledByTimeout = 0xFFFFFFFE;
inline constexpr std::uint32_t disabledByUserInput = 0xFFFFFFFF;
}  // namespace KeyEventType

// Virtual key codes and flag masks used by the sources.
namespace MacKey {
inline constexpr std::int64_t command = 55, rightCommand = 54;
inline constexpr std::int64_t shift = 56, rightShift = 60;
inline constexpr std::int64_t option = 58, rightOption = 61;
inline constexpr std::int64_t control = 59, rightControl = 62;
inline constexpr std::int64_t capsLock = 57;
inline constexpr std::int64_t function = 63;
inline constexpr std::int64_t escape = 53;
// Any other key: no macOS key has this code, and no rule looks at it.
inline constexpr std::int64_t otherKey = 0xFFFF;

inline constexpr std::uint64_t capsLockFlag = 0x10000;
inline constexpr std::uint64_t shiftFlag = 0x20000;
inline constexpr std::uint64_t controlFlag = 0x40000;
inline constexpr std::uint64_t optionFlag = 0x80000;
inline constexpr std::uint64_t commandFlag = 0x100000;
inline constexpr std::uint64_t functionFlag = 0x800000;
}  // namespace MacKey

// A global, listen-only observer of the keyboard: it sees every key of every
// application and never holds back, changes or swallows one.
class KeySource {
public:
    virtual ~KeySource() = default;
    // Begins delivering events; false when the source cannot be opened (no
    // display, or the display cannot report global key events). May be tried
    // again after a failure.
    virtual bool open() = 0;
    virtual bool isOpen() const = 0;
    // Delivers again after the source reported itself disabled.
    virtual void enable() = 0;
    // Whether a key of the keyboard, under its current layout, produces the
    // key code `keyCode`; only known while open.
    virtual bool hasKey(std::int64_t keyCode) const = 0;
    // The trigger key's codes and whether Escape matters now (while
    // recording). A source that hears every key needs neither; one that
    // must ask the desktop for single keys asks for these.
    virtual void watchKeys(const std::vector<std::int64_t>& keyCodes) { (void)keyCodes; }
    virtual void watchEscape(bool on) { (void)on; }

    // Called on the main thread for every event, as it happens.
    std::function<void(const KeyEvent&)> onEvent;
};
