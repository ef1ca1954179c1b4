#include "desktop/TriggerKey.h"

#include "platform/KeySource.h"
#include "platform/PlatformWords.h"

#include <algorithm>

bool TriggerKey::hasKeyCode(std::int64_t code) const
{
    return std::find(keyCodes.begin(), keyCodes.end(), code) != keyCodes.end();
}

// The labels name the keys as this platform does; the ids never change. The
// globe key's row is there only where the key source can see that key.
const QList<TriggerKey>& TriggerKey::all()
{
    using namespace MacKey;
    static const QList<TriggerKey> table = [] {
        const QString eitherSide = QStringLiteral("%1（左右どちらでも）");
        QList<TriggerKey> rows{
            {QStringLiteral("option"), eitherSide.arg(PlatformWords::optionKey()), {option, rightOption}, optionFlag},
            {QStringLiteral("leftOption"), PlatformWords::leftOptionKey(), {option}, optionFlag},
            {QStringLiteral("rightOption"), PlatformWords::rightOptionKey(), {rightOption}, optionFlag},
            {QStringLiteral("rightCommand"), PlatformWords::rightCommandKey(), {rightCommand}, commandFlag},
            {QStringLiteral("control"),
             eitherSide.arg(PlatformWords::controlKey()),
             {control, rightControl},
             controlFlag},
            {QStringLiteral("rightShift"), QStringLiteral("右のShift"), {MacKey::rightShift}, shiftFlag},
        };
        if (const auto fn = PlatformWords::functionKey())
            rows.append({QStringLiteral("fn"), *fn, {function}, functionFlag});
        return rows;
    }();
    return table;
}

bool TriggerKey::offers(const QString& id)
{
    return std::any_of(all().begin(), all().end(), [&id](const TriggerKey& key) { return key.id == id; });
}

TriggerKey TriggerKey::find(const QString& id)
{
    for (const TriggerKey& key : all()) {
        if (key.id == id)
            return key;
    }
    return all().front();
}
