// Changing the personal dictionary: adding words, saving a new order, and
// deleting a word. Every write replaces the file atomically.
#include "store/Dictionary.h"

#include "store/DictionaryFile.h"
#include "store/Log.h"
#include "support/Graphemes.h"

#include <QSet>

#include <algorithm>

namespace Config {

namespace {

const QByteArray utf8Bom("\xEF\xBB\xBF");

const QStringList rewriteHeader{
    QStringLiteral("# じぶん辞書: 1行1語。上の語ほど聞き取りに強く効きます（アプリでドラッグ並べ替え）"),
    QStringLiteral("# 「ふかんず=俯瞰図」と書くと、左側の言葉が出てきたとき自動で右側に直します"),
    QStringLiteral("# 左側はひらがなでなくてもOK。「渡辺=渡邊」のように、間違って出る書き方も直せます"),
    QString(),
};

// "reading=written form"; with a space on each side of "=" where the sign
// would otherwise join a neighbouring character into one (a written form
// starting with a combining mark) and the line would lose its reading.
QString lineOf(const DictionaryEntry& e)
{
    if (!e.reading)
        return e.surface;
    // A reading starting with "#" would make a comment of the line; a "="
    // in front of it is skipped when the line is read.
    const QString lead = dictionaryFile::isComment(*e.reading) ? QStringLiteral("=") : QString();
    const QString line = lead + *e.reading + u'=' + e.surface;
    const Graphemes::Text chars(line);
    const qsizetype sign = lead.size() + e.reading->size();
    if (chars.isBoundary(sign) && chars.isBoundary(sign + 1))
        return line;
    return lead + *e.reading + QStringLiteral(" = ") + e.surface;
}

bool hasLineBreak(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        return c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == QChar(0x85)
               || c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph;
    });
}

}  // namespace

bool dictionaryAcceptsWords()
{
    const auto state = dictionaryFile::read().state;
    return state != dictionaryFile::State::notUtf8 && state != dictionaryFile::State::unreadable;
}

std::optional<QStringList> appendDictionaryWords(const QStringList& words)
{
    const dictionaryFile::Contents contents = dictionaryFile::read();

    QSet<QString> known;
    for (const DictionaryEntry& e : dictionaryFile::entriesOf(contents))
        known.insert(e.surface);

    QStringList kept;
    for (const QString& word : words) {
        const QString trimmed = Graphemes::trimmedBlanks(word);
        if (trimmed.isEmpty() || dictionaryFile::isComment(trimmed))
            continue;
        const QString key = dictionaryFile::keyOf(trimmed);
        if (known.contains(key))
            continue;
        known.insert(key);
        kept.append(trimmed);
    }
    if (kept.isEmpty())
        return QStringList();

    // A file that exists but cannot be read as UTF-8 text would be lost by
    // writing the new words over it: leave it exactly as it is.
    if (contents.state == dictionaryFile::State::notUtf8) {
        Log::write(QStringLiteral("辞書に追加しませんでした: dictionary.txt "
                                  "がUTF-8の文字として読めないため、元のファイルを書き換えずに残します"));
        return std::nullopt;
    }
    if (contents.state == dictionaryFile::State::unreadable) {
        Log::write(QStringLiteral(
            "辞書に追加しませんでした: dictionary.txt を読み込めないため、元のファイルを書き換えずに残します"));
        return std::nullopt;
    }

    // The old bytes stay as they are (byte-order mark and line ends included);
    // the new lines go after them.
    QByteArray bytes = contents.bytes;
    // A first word starting with U+FEFF would be read as a byte-order mark.
    if (bytes.isEmpty() && kept.first().startsWith(QChar(0xFEFF)))
        bytes = utf8Bom;
    if (!contents.text.isEmpty() && !contents.text.endsWith(u'\n'))
        bytes += '\n';
    bytes += (kept.join(u'\n') + u'\n').toUtf8();
    if (!dictionaryFile::write(bytes))
        return std::nullopt;

    Log::write(QStringLiteral("辞書に追加: ") + kept.join(QStringLiteral("、")));
    return kept;
}

std::optional<QStringList> appendDictionaryEntries(const QList<DictionaryEntry>& words)
{
    QStringList lines;
    for (const DictionaryEntry& e : words)
        lines.append(lineOf(e));
    return appendDictionaryWords(lines);
}

bool rewriteDictionary(const QList<DictionaryEntry>& order)
{
    QStringList lines = rewriteHeader;
    for (const DictionaryEntry& e : order)
        lines.append(lineOf(e));
    lines.append(QString());
    if (!dictionaryFile::write(lines.join(u'\n').toUtf8()))
        return false;
    Log::write(QStringLiteral("辞書の並び順を保存: %1語").arg(order.size()));
    return true;
}

WordProblem wordProblem(const DictionaryEntry& word)
{
    if (hasLineBreak(word.surface) || (word.reading && hasLineBreak(*word.reading)))
        return WordProblem::lineBreak;
    const QString trimmed = Graphemes::trimmedBlanks(dictionaryFile::lineBody(lineOf(word)));
    if (!trimmed.isEmpty() && !dictionaryFile::isComment(trimmed) && dictionaryFile::parse(trimmed) == word)
        return WordProblem::none;
    return word.reading && word.reading->contains(u'=') ? WordProblem::equalsInReading : WordProblem::needsReading;
}

bool removeWord(const QString& surface)
{
    const dictionaryFile::Contents contents = dictionaryFile::read();
    if (contents.state == dictionaryFile::State::missing)
        return true;
    if (contents.state != dictionaryFile::State::ok)
        return false;

    // Split at LF only, so every kept line keeps its own line end (a CR
    // before the LF stays with its line) and the final-LF state survives.
    QStringList kept;
    for (const QString& line : contents.text.split(u'\n')) {
        const QString trimmed = Graphemes::trimmedBlanks(dictionaryFile::lineBody(line));
        const bool hasKey = !trimmed.isEmpty() && !dictionaryFile::isComment(trimmed);
        if (hasKey && dictionaryFile::keyOf(trimmed) == surface)
            continue;
        kept.append(line);
    }
    QByteArray bytes = contents.hasBom ? utf8Bom : QByteArray();
    bytes += kept.join(u'\n').toUtf8();
    if (!dictionaryFile::write(bytes))
        return false;
    Log::write(QStringLiteral("辞書から削除: ") + surface);
    return true;
}

QByteArray dictionaryBytes()
{
    return dictionaryFile::read().bytes;
}

}  // namespace Config
