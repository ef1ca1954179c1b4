#include "ui/DictionaryRules.h"

#include "support/Graphemes.h"

#include <QRegularExpression>

#include <algorithm>

namespace DictionaryRules {

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
    const Config::DictionaryEntry word{reading.isEmpty() ? std::nullopt : std::optional(reading), surface};
    switch (Config::wordProblem(word)) {
    case Config::WordProblem::none:
        return {word, {}};
    case Config::WordProblem::lineBreak:
        return {std::nullopt, QStringLiteral("改行は入れられません。1行に1語で書いてください。")};
    case Config::WordProblem::equalsInReading:
        return {std::nullopt, QStringLiteral("「よみ」に「=」は入れられません。")};
    case Config::WordProblem::needsReading:
        break;
    }
    return {std::nullopt,
            QStringLiteral("「#」で始まる書き方や「=」をはさむ書き方は、「よみ」と一緒に入れてください。")};
}

Addition addedWords(const QString& surfaceText, const QString& readingText)
{
    if (!Graphemes::trimmedBlanks(readingText).isEmpty()) {
        const Edit edit = editedWord(surfaceText, readingText);
        return {edit.word ? QList{*edit.word} : QList<Config::DictionaryEntry>(), edit.refusal};
    }
    static const QRegularExpression separators(QStringLiteral("[、,・ \u3000\n]"));
    Addition out;
    for (const QString& piece : surfaceText.split(separators, Qt::SkipEmptyParts)) {
        const Edit edit = editedWord(piece, {});
        if (!edit.refusal.isEmpty())
            return {{}, edit.refusal};
        if (edit.word)
            out.words.append(*edit.word);
    }
    return out;
}

QString cannotWrite()
{
    return QStringLiteral("dictionary.txt に書き込めませんでした（書き込みの許可とディスクの空きを確かめてください）");
}

}  // namespace DictionaryRules
