#include "store/DictionaryFile.h"

#include "store/AtomicFile.h"
#include "store/Config.h"
#include "store/Log.h"
#include "support/Graphemes.h"

#include <QFile>
#include <QStringDecoder>

namespace Config::dictionaryFile {

namespace {

const QByteArray utf8Bom("\xEF\xBB\xBF");

// A line split as the reading rule reads it: "=" characters at the very start
// are skipped, then the text is cut at the first "=". `after` is absent when
// there is no such "=".
struct AtEquals {
    QString before;
    std::optional<QString> after;
};

AtEquals splitAtEquals(const QString& t)
{
    if (!t.contains(u'='))
        return {t, std::nullopt};
    // "=" counts only as a character of its own, not when a combining mark
    // is attached to it.
    const Graphemes::Text chars(t);
    auto isEqualsSign = [&](qsizetype i) { return t.at(i) == u'=' && chars.isBoundary(i) && chars.isBoundary(i + 1); };
    qsizetype start = 0;
    while (start < t.size() && isEqualsSign(start))
        ++start;
    for (qsizetype i = start; i < t.size(); ++i) {
        if (isEqualsSign(i))
            return {t.mid(start, i - start), t.mid(i + 1)};
    }
    return {t.mid(start), std::nullopt};
}

}  // namespace

QString path()
{
    return Config::file(QStringLiteral("dictionary.txt"));
}

Contents read()
{
    Contents c;
    QFile f(path());
    if (!f.exists())
        return c;
    c.state = State::unreadable;
    if (!f.open(QIODevice::ReadOnly))
        return c;
    c.bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return c;
    const auto text = decodeStrictly(c.bytes, "UTF-8");
    if (!text) {
        c.state = State::notUtf8;
        return c;
    }
    c.state = State::ok;
    c.text = *text;
    c.hasBom = c.bytes.startsWith(utf8Bom);
    return c;
}

bool write(const QByteArray& bytes)
{
    QString error;
    if (writeFileAtomically(path(), bytes, &error))
        return true;
    Log::write(QStringLiteral("dictionary.txt に書き込めませんでした: ") + error);
    return false;
}

std::optional<QString> decodeStrictly(const QByteArray& bytes, const char* encoding)
{
    // Stateless: bytes cut off in the middle of a character are an error,
    // not something to wait for.
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QStringList lines(const QString& text)
{
    QStringList out = text.split(u'\n');
    for (QString& line : out)
        line = lineBody(line);
    return out;
}

QString lineBody(const QString& line)
{
    qsizetype end = line.size();
    while (end > 0 && (line.at(end - 1) == u'\r' || Graphemes::isBlank(line.at(end - 1))))
        --end;
    return line.left(end);
}

bool isComment(const QString& trimmed)
{
    return trimmed.startsWith(u'#') && Graphemes::startsWith(trimmed, QStringLiteral("#"));
}

DictionaryEntry parse(const QString& trimmed)
{
    const AtEquals parts = splitAtEquals(trimmed);
    if (parts.after && !parts.after->isEmpty()) {
        const QString reading = Graphemes::trimmedBlanks(parts.before);
        const QString surface = Graphemes::trimmedBlanks(*parts.after);
        if (!reading.isEmpty() && !surface.isEmpty())
            return {reading, surface};
    }
    return {std::nullopt, trimmed};
}

QString keyOf(const QString& trimmed)
{
    // The written form the line reads as, also when its reading is blank, so
    // that deleting the word the table shows finds its line.
    return parse(trimmed).surface;
}

QList<DictionaryEntry> entriesOf(const Contents& contents)
{
    QList<DictionaryEntry> entries;
    if (contents.state != State::ok)
        return entries;
    for (const QString& line : lines(contents.text)) {
        const QString trimmed = Graphemes::trimmedBlanks(line);
        if (!trimmed.isEmpty() && !isComment(trimmed))
            entries.append(parse(trimmed));
    }
    return entries;
}

}  // namespace Config::dictionaryFile
