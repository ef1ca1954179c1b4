#include "platform/linux/input/Keymap.h"

#include <xkbcommon/xkbcommon.h>

namespace {

std::shared_ptr<xkb_context> context()
{
    return std::shared_ptr<xkb_context>(xkb_context_new(XKB_CONTEXT_NO_FLAGS), xkb_context_unref);
}

}  // namespace

Keymap::Keymap(xkb_keymap* keymap) : keymap_(keymap, xkb_keymap_unref) {}

std::optional<Keymap> Keymap::fromText(const QByteArray& text)
{
    const auto ctx = context();
    if (!ctx)
        return std::nullopt;
    xkb_keymap* keymap = xkb_keymap_new_from_buffer(ctx.get(), text.constData(), size_t(text.size()),
                                                    XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap)
        return std::nullopt;
    return Keymap(keymap);
}

std::optional<Keymap> Keymap::fromNames(const QString& layout, const QString& variant, const QString& options)
{
    const auto ctx = context();
    if (!ctx)
        return std::nullopt;
    const QByteArray l = layout.toUtf8(), v = variant.toUtf8(), o = options.toUtf8();
    xkb_rule_names names{};
    names.layout = l.isEmpty() ? nullptr : l.constData();
    names.variant = v.isEmpty() ? nullptr : v.constData();
    names.options = o.isEmpty() ? nullptr : o.constData();
    xkb_keymap* keymap = xkb_keymap_new_from_names(ctx.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap)
        return std::nullopt;
    return Keymap(keymap);
}

std::optional<Keymap::Key> Keymap::find(std::uint32_t keysym, std::uint32_t preferred) const
{
    xkb_keymap* keymap = keymap_.get();
    const xkb_layout_index_t layouts = xkb_keymap_num_layouts(keymap);
    const auto inLayout = [&](xkb_layout_index_t layout) -> std::optional<Key> {
        for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap); code <= xkb_keymap_max_keycode(keymap); ++code) {
            if (layout >= xkb_keymap_num_layouts_for_key(keymap, code) || code < 8)
                continue;
            const xkb_keysym_t* syms = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap, code, layout, 0, &syms);
            for (int i = 0; i < count; ++i) {
                if (syms[i] == keysym)
                    return Key{code - 8, layout};
            }
        }
        return std::nullopt;
    };
    if (preferred < layouts) {
        if (auto key = inLayout(preferred))
            return key;
    }
    for (xkb_layout_index_t layout = 0; layout < layouts; ++layout) {
        if (layout == preferred)
            continue;
        if (auto key = inLayout(layout))
            return key;
    }
    return std::nullopt;
}

QByteArray Keymap::text() const
{
    char* text = xkb_keymap_get_as_string(keymap_.get(), XKB_KEYMAP_FORMAT_TEXT_V1);
    QByteArray result(text ? text : "");
    std::free(text);
    return result;
}
