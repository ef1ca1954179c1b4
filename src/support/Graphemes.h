#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// User-perceived characters (extended grapheme clusters). Every character
// budget, limit and count shown to the user goes through here.
namespace Graphemes {

int count(const QString& text);
QStringList split(const QString& text);    // one element per character
QString left(const QString& text, int n);  // the first n characters

// Whole-character prefix and suffix tests: "か" is not a prefix of "か" followed
// by a combining voiced mark, because that pair is one character.
bool startsWith(const QString& text, const QString& prefix);
bool endsWith(const QString& text, const QString& suffix);

// Blanks: tabs and every Unicode space separator (category Zs), the
// ideographic space included. Line breaks are not blanks.
bool isBlank(QChar c);
QString trimmedBlanks(const QString& text);

// A text with its character boundaries worked out once, for many prefix and
// suffix tests on the same text.
class Text {
public:
    explicit Text(const QString& text);

    const QString& string() const { return text_; }
    int count() const { return int(starts_.size()) - 1; }
    bool isEmpty() const { return text_.isEmpty(); }
    bool startsWith(const QString& prefix) const;
    bool endsWith(const QString& suffix) const;
    QString first() const;  // the first character, or ""
    QString last() const;   // the last character, or ""
    // Code-unit offset at which the last n characters begin (0 when the text
    // has n characters or fewer).
    qsizetype offsetOfLast(int n) const;
    // Whether a character starts (or the text ends) at this code-unit offset.
    bool isBoundary(qsizetype offset) const;

private:
    QString text_;
    QList<qsizetype> starts_;  // every boundary offset, 0 and the end included
};

}  // namespace Graphemes
