#include "recognition/Transcript.h"

#include "support/Graphemes.h"

#include <QTextBoundaryFinder>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Transcript {

const QStringList punctuation{
    u"、"_s, u"。"_s, u"，"_s, u"．"_s, u"！"_s, u"？"_s, u"!"_s, u"?"_s, u"…"_s, u","_s, u"."_s,
};  // 11

const QStringList 単独でも消す定型句{
    u"ご視聴ありがとうございました"_s,
    u"ご清聴ありがとうございました"_s,
    u"ご視聴いただきありがとうございました"_s,
    u"最後までご視聴いただきありがとうございました"_s,
    u"最後までご視聴ありがとうございました"_s,
    u"チャンネル登録お願いします"_s,
    u"チャンネル登録よろしくお願いします"_s,
    u"チャンネル登録高評価よろしくお願いします"_s,
    u"高評価とチャンネル登録をよろしくお願いします"_s,
    u"次回もお楽しみに"_s,
    u"Thank you for watching"_s,
    u"Thanks for watching"_s,
    u"Please subscribe"_s,
    u"Subscribe to my channel"_s,
};  // 14

const QStringList 後ろにあるときだけ消す定型句{
    u"ありがとうございました"_s, u"ありがとうございます"_s, u"おわり"_s, u"終わり"_s, u"おしまい"_s,
};  // 5

const QStringList 続きの頭{
    u"を"_s,       u"に"_s,     u"が"_s,     u"は"_s,     u"へ"_s,       u"も"_s,     u"と"_s,     u"や"_s,
    u"の"_s,       u"か"_s,     u"ね"_s,     u"よ"_s,     u"っ"_s,       u"ん"_s,     u"ー"_s,     u"ゃ"_s,
    u"ゅ"_s,       u"ょ"_s,     u"ぁ"_s,     u"ぃ"_s,     u"ぅ"_s,       u"ぇ"_s,     u"ぉ"_s,     u"ッ"_s,
    u"ン"_s,       u"ャ"_s,     u"ュ"_s,     u"ョ"_s,     u"る"_s,       u"れ"_s,     u"り"_s,     u"ら"_s,
    u"ろ"_s,       u"て"_s,     u"ます"_s,   u"ました"_s, u"ません"_s,   u"ませ"_s,   u"ましょ"_s, u"ましたら"_s,
    u"です"_s,     u"でし"_s,   u"でき"_s,   u"できる"_s, u"できます"_s, u"する"_s,   u"します"_s, u"した"_s,
    u"して"_s,     u"しま"_s,   u"され"_s,   u"させ"_s,   u"せる"_s,     u"せて"_s,   u"ない"_s,   u"なく"_s,
    u"なけれ"_s,   u"なかっ"_s, u"なけ"_s,   u"たい"_s,   u"たく"_s,     u"たら"_s,   u"たり"_s,   u"ため"_s,
    u"ても"_s,     u"ては"_s,   u"たこと"_s, u"という"_s, u"といっ"_s,   u"として"_s, u"との"_s,   u"とき"_s,
    u"こと"_s,     u"もの"_s,   u"ところ"_s, u"とおり"_s, u"ように"_s,   u"ような"_s, u"ようで"_s, u"よう"_s,
    u"ください"_s, u"くださ"_s, u"ので"_s,   u"のに"_s,   u"のは"_s,     u"のが"_s,   u"のを"_s,   u"ばかり"_s,
    u"まで"_s,     u"から"_s,   u"より"_s,   u"ほど"_s,   u"など"_s,     u"だけ"_s,   u"けど"_s,   u"けれ"_s,
    u"ながら"_s,   u"つつ"_s,   u"ずつ"_s,   u"でしょ"_s, u"だろ"_s,     u"でも"_s,   u"では"_s,
};  // 103

const QStringList 文末の形{
    u"です"_s,         u"ます"_s,         u"ました"_s,     u"ません"_s,     u"でした"_s,       u"ましょう"_s,
    u"でしょう"_s,     u"ませんでした"_s, u"ください"_s,   u"下さい"_s,     u"します"_s,       u"しました"_s,
    u"しません"_s,     u"してください"_s, u"思います"_s,   u"思いました"_s, u"考えています"_s, u"願いします"_s,
    u"お願いします"_s, u"あります"_s,     u"ありません"_s, u"います"_s,     u"いません"_s,     u"なります"_s,
    u"なりました"_s,   u"できます"_s,     u"できません"_s, u"でしょうか"_s, u"ですか"_s,       u"ますか"_s,
    u"ございました"_s, u"ございます"_s,
};  // 32

const QStringList 新しい始まり{
    u"また"_s,     u"ただし"_s,     u"しかし"_s,   u"なお"_s,     u"そして"_s, u"それで"_s, u"それから"_s, u"つまり"_s,
    u"さらに"_s,   u"したがって"_s, u"ちなみに"_s, u"例えば"_s,   u"まずは"_s, u"まず"_s,   u"次に"_s,     u"あと"_s,
    u"ですので"_s, u"なので"_s,     u"これ"_s,     u"それ"_s,     u"この"_s,   u"その"_s,   u"あの"_s,     u"こちら"_s,
    u"そちら"_s,   u"ここ"_s,       u"そこ"_s,     u"ちょっと"_s, u"一旦"_s,   u"基本的"_s, u"今回"_s,     u"今後"_s,
    u"今"_s,       u"私"_s,         u"本来"_s,     u"実際"_s,
};  // 36

const QStringList 読点の形{
    u"ですが"_s, u"ますが"_s, u"でしたが"_s, u"ましたが"_s, u"だが"_s,   u"たが"_s,     u"ので"_s,
    u"のに"_s,   u"から"_s,   u"ため"_s,     u"けど"_s,     u"けれど"_s, u"けれども"_s, u"ものの"_s,
    u"たら"_s,   u"なら"_s,   u"ならば"_s,   u"ても"_s,     u"でも"_s,   u"ずに"_s,     u"ないで"_s,
    u"ず"_s,     u"ており"_s, u"ていて"_s,   u"ていた"_s,   u"たり"_s,   u"つつ"_s,     u"ながら"_s,
};  // 28

const QStringList 読点の1字{
    u"し"_s, u"て"_s, u"で"_s, u"り"_s, u"は"_s, u"も"_s,
};  // 6

const QStringList 接続詞{
    u"また"_s, u"ただし"_s, u"しかし"_s, u"なお"_s, u"そして"_s, u"つまり"_s, u"さらに"_s, u"それで"_s, u"ちなみに"_s,
};  // 9

namespace {

// Ends a sentence for `split`; "．" and "." do not.
const QStringList sentenceTerminators{u"。"_s, u"！"_s, u"？"_s, u"!"_s, u"?"_s, u"\n"_s};

// Trimmed from both ends of the last sentence before it is compared.
const QString comparisonTrim = u" \u3000。．.!！?？\n"_s;

// How many trailing phrases one clean-up may remove at most.
constexpr int maxRemovals = 4;

// White space and line breaks, Unicode spaces included.
QString trimmedWhitespace(const QString& text)
{
    return text.trimmed();
}

QString trimmedOf(const QString& text, const QString& set)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && set.contains(text.at(begin)))
        ++begin;
    while (end > begin && set.contains(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

// Where one sentence lies in the text, in code units.
struct Span {
    qsizetype start;
    qsizetype end;
};

// The text's sentences, each with its terminator; an unfinished last sentence
// is kept, untrimmed, when it holds more than blanks. Given as spans, so the
// sentences before the last are simply the text up to the last one's start.
QList<Span> split(const QString& text)
{
    QList<Span> sentences;
    if (text.isEmpty())
        return sentences;
    QTextBoundaryFinder chars(QTextBoundaryFinder::Grapheme, text);
    qsizetype sentenceStart = 0;
    qsizetype charStart = 0;
    for (qsizetype end = chars.toNextBoundary(); end != -1; end = chars.toNextBoundary()) {
        const QStringView character = QStringView(text).mid(charStart, end - charStart);
        if (std::any_of(sentenceTerminators.cbegin(), sentenceTerminators.cend(),
                        [&](const QString& t) { return t == character; })) {
            sentences.append({sentenceStart, end});
            sentenceStart = end;
        }
        charStart = end;
    }
    if (!Graphemes::trimmedBlanks(text.mid(sentenceStart)).isEmpty())
        sentences.append({sentenceStart, text.size()});
    return sentences;
}

bool matchesAny(const QString& text, const QStringList& phrases)
{
    for (const QString& phrase : phrases) {
        if (QString::compare(text, phrase, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool isAsciiLetterOrDigit(const QString& character)
{
    if (character.size() != 1)
        return false;
    const char16_t c = character.at(0).unicode();
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

bool startsWithAny(const Graphemes::Text& text, const QStringList& prefixes)
{
    for (const QString& p : prefixes) {
        if (text.startsWith(p))
            return true;
    }
    return false;
}

bool endsWithAny(const Graphemes::Text& text, const QStringList& suffixes)
{
    for (const QString& s : suffixes) {
        if (text.endsWith(s))
            return true;
    }
    return false;
}

// The seam rules, in order. `prev` may be only the tail of the text so far,
// cut at a character boundary and long enough for every suffix in the
// tables; `textBefore` says whether the text so far has characters before it.
QString seam(const Graphemes::Text& prev, bool textBefore, const Graphemes::Text& next)
{
    if ((prev.isEmpty() && !textBefore) || next.isEmpty())
        return {};
    const QString last = prev.last();
    const QString first = next.first();
    if (isAsciiLetterOrDigit(last) && isAsciiLetterOrDigit(first))
        return u" "_s;
    if (punctuation.contains(last))
        return {};
    if (punctuation.contains(first))
        return {};
    if (startsWithAny(next, 続きの頭))
        return {};
    if (next.count() < 2)
        return {};
    const bool ends = endsWithAny(prev, 文末の形);
    if (startsWithAny(next, 新しい始まり))
        return ends ? u"。"_s : u"、"_s;
    if (ends)
        return u"。"_s;
    if (endsWithAny(prev, 読点の形))
        return u"、"_s;
    if (読点の1字.contains(last) && (textBefore || prev.count() > 1))
        return u"、"_s;
    if (endsWithAny(prev, 接続詞))
        return u"、"_s;
    return {};
}

// Characters kept from the end of the joined text for the seam tests: more
// than the longest suffix in the tables.
constexpr int seamTail = 8;

}  // namespace

QString clean(const QString& raw)
{
    QString text = trimmedWhitespace(raw);
    for (int round = 0; round < maxRemovals; ++round) {
        const QList<Span> sentences = split(text);
        if (sentences.isEmpty())
            break;
        const Span lastSpan = sentences.last();
        const QString last = trimmedOf(text.mid(lastSpan.start, lastSpan.end - lastSpan.start), comparisonTrim);
        const bool standalone = matchesAny(last, 単独でも消す定型句);
        if (!standalone && !matchesAny(last, 後ろにあるときだけ消す定型句))
            break;
        if (sentences.size() == 1) {
            if (standalone)
                text.clear();
            break;
        }
        text = trimmedWhitespace(text.left(lastSpan.start));
    }
    return joinLines(text);
}

bool runsAway(const QString& text)
{
    QString visible = text;
    visible.removeIf([](QChar c) { return c.isSpace(); });
    const QStringList chars = Graphemes::split(visible);
    const qsizetype n = chars.size();
    const auto same = [&chars](qsizetype a, qsizetype b, qsizetype length) {
        return std::equal(chars.cbegin() + a, chars.cbegin() + a + length, chars.cbegin() + b);
    };
    constexpr qsizetype longestPhrase = 40, shortPhrase = 7, leastSpan = 16;
    for (qsizetype length = 1; length <= longestPhrase && 2 * length <= n; ++length) {
        qsizetype repeats = 1;
        while ((repeats + 1) * length <= n && same(n - (repeats + 1) * length, n - length, length))
            ++repeats;
        if (repeats >= (length <= shortPhrase ? 4 : 3) && repeats * length >= leastSpan)
            return true;
    }
    return false;
}

QString joinLines(const QString& text)
{
    QString joined;
    bool started = false;
    // The joined text is tested only at its end, so the seam looks at a tail
    // that starts at a character boundary of the whole text; this keeps a
    // long transcript linear.
    qsizetype tailStart = 0;
    for (const QStringView piece : QStringView(text).split(u'\n', Qt::SkipEmptyParts)) {
        const QString line = Graphemes::trimmedBlanks(piece.toString());
        if (line.isEmpty())
            continue;
        if (!started) {
            joined = line;
            started = true;
            continue;
        }
        const Graphemes::Text tail(joined.mid(tailStart));
        joined += seam(tail, tailStart > 0, Graphemes::Text(line));
        joined += line;
        tailStart += tail.offsetOfLast(seamTail);
    }
    return joined;
}

QString 継ぎ目(const QString& 前, const QString& 次)
{
    return seam(Graphemes::Text(前), false, Graphemes::Text(次));
}

}  // namespace Transcript
