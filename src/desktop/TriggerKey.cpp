#include "desktop/TriggerKey.h"

#include "platform/KeySource.h"

#include <algorithm>

bool TriggerKey::hasKeyCode(std::int64_t code) const
{
    return std::find(keyCodes.begin(), keyCodes.end(), code) != keyCodes.end();
}

const QList<TriggerKey>& TriggerKey::all()
{
    using namespace MacKey;
    static const QList<TriggerKey> table = {
        {QStringLiteral("option"), QStringLiteral("Option（左右どちらでも）"), {option, rightOption}, optionFlag},
        {QStringLiteral("leftOption"), QStringLiteral("左のOption"), {option}, optionFlag},
        {QStringLiteral("rightOption"), QStringLiteral("右のOption"), {rightOption}, optionFlag},
        {QStringLiteral("rightCommand"), QStringLiteral("右のCommand"), {rightCommand}, commandFlag},
        {QStringLiteral("control"), QStringLiteral("Control（左右どちらでも）"), {control, rightControl}, controlFlag},
        {QStringLiteral("rightShift"), QStringLiteral("右のShift"), {MacKey::rightShift}, shiftFlag},
        // No X11 key produces this code: the row can be chosen but never fires.
        {QStringLiteral("fn"), QStringLiteral("fn（地球儀キー）"), {function}, functionFlag},
    };
    return table;
}

TriggerKey TriggerKey::find(const QString& id)
{
    for (const TriggerKey& key : all()) {
        if (key.id == id)
            return key;
    }
    return all().front();
}
