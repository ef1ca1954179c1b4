#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

struct xkb_keymap;

// A keyboard's layout as xkbcommon reads it, asked which key types a symbol:
// the paste keystroke must press the key that gives "v" under the layout in
// use (on a Dvorak layout, the key that says "." on a US keyboard).
class Keymap {
public:
    // From the text a Wayland compositor hands its clients (xkb_v1 format).
    static std::optional<Keymap> fromText(const QByteArray& text);
    // From layout names, e.g. ("us", "dvorak"); empty names take the
    // system's defaults (XKB_DEFAULT_LAYOUT and its kin, else "us").
    static std::optional<Keymap> fromNames(const QString& layout = {}, const QString& variant = {},
                                           const QString& options = {});

    struct Key {
        std::uint32_t evdevCode = 0;  // the key, as the kernel numbers it (xkb key code - 8)
        std::uint32_t layout = 0;     // the layout (group) in which it types the symbol
        bool operator==(const Key&) const = default;
    };
    // The key that types `keysym` (an xkb keysym, e.g. XKB_KEY_v) without
    // other modifiers, in layout `preferred` if it has one, else in the
    // first layout that does (a Latin layout beside a Cyrillic one).
    std::optional<Key> find(std::uint32_t keysym, std::uint32_t preferred = 0) const;

    QByteArray text() const;  // the keymap in xkb_v1 format
    xkb_keymap* get() const { return keymap_.get(); }

private:
    explicit Keymap(xkb_keymap* keymap);
    std::shared_ptr<xkb_keymap> keymap_;
};
