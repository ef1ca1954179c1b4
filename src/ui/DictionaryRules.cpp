#include "ui/DictionaryRules.h"

#include "support/Graphemes.h"

#include <algorithm>

namespace DictionaryRules {

namespace {

bool hasLineBreak(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        return c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == QChar(0x85)
               || c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph;
    });
}

}  // namespace

int moveTarget(int source, int destination, int count)
{
    const int target = source < destination ? destination - 1 : destination;
    return std::clamp(target, 0, std::max(count - 1, 0));
}

std::optional<int> sourceRow(const QByteArray& payload, int count)
{
    if (payload.isEmpty() || payload.size() > 9
        || !std::all_of(payload.begin(), payload.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int row = payload.toInt();
    if (row >= count)
        return std::nullopt;
    return row;
}

Edit editedWord(const QString& surfaceText, const QString& readingText)
{
    const QString surface = Graphemes::trimmedBlanks(surfaceText);
    const QString reading = Graphemes::trimmedBlanks(readingText);
    if (surface.isEmpty())
        return {};
    if (hasLineBreak(surface) || hasLineBreak(reading))
        return {std::nullopt, QStringLiteral("改行は入れられません。1行に1語で書いてください。")};
    const Config::DictionaryEntry word{reading.isEmpty() ? std::nullopt : std::optional(reading), surface};
    if (Config::wordReadsBack(word))
        return {word, {}};
    if (reading.contains(u'='))
        return {std::nullopt, QStringLiteral("「よみ」に「=」は入れられません。")};
    return {std::nullopt,
            QStringLiteral("「#」で始まる書き方や「=」をはさむ書き方は、「よみ」と一緒に入れてください。")};
}

}  // namespace DictionaryRules
