#include "support/Graphemes.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace Graphemes {

int count(const QString& text)
{
    if (text.isEmpty())
        return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int n = 0;
    while (finder.toNextBoundary() != -1)
        ++n;
    return n;
}

QStringList split(const QString& text)
{
    QStringList out;
    if (text.isEmpty())
        return out;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end != -1; end = finder.toNextBoundary()) {
        out.append(text.mid(start, end - start));
        start = end;
    }
    return out;
}

QString left(const QString& text, int n)
{
    if (n <= 0 || text.isEmpty())
        return {};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (int i = 0; i < n; ++i) {
        const qsizetype next = finder.toNextBoundary();
        if (next == -1)
            break;
        end = next;
    }
    return text.left(end);
}

namespace {

bool boundaryAt(const QString& text, qsizetype offset)
{
    if (offset <= 0 || offset >= text.size())
        return true;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.setPosition(offset);
    return finder.isAtBoundary();
}

}  // namespace

bool startsWith(const QString& text, const QString& prefix)
{
    return text.startsWith(prefix) && boundaryAt(text, prefix.size());
}

bool endsWith(const QString& text, const QString& suffix)
{
    return text.endsWith(suffix) && boundaryAt(text, text.size() - suffix.size());
}

bool isBlank(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

QString trimmedBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

Text::Text(const QString& text) : text_(text)
{
    starts_.append(0);
    if (text_.isEmpty())
        return;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text_);
    for (qsizetype end = finder.toNextBoundary(); end != -1; end = finder.toNextBoundary())
        starts_.append(end);
}

bool Text::isBoundary(qsizetype offset) const
{
    return std::binary_search(starts_.cbegin(), starts_.cend(), offset);
}

bool Text::startsWith(const QString& prefix) const
{
    return text_.startsWith(prefix) && isBoundary(prefix.size());
}

bool Text::endsWith(const QString& suffix) const
{
    return text_.endsWith(suffix) && isBoundary(text_.size() - suffix.size());
}

QString Text::first() const
{
    return count() == 0 ? QString() : text_.left(starts_.at(1));
}

QString Text::last() const
{
    if (count() == 0)
        return {};
    const qsizetype from = starts_.at(starts_.size() - 2);
    return text_.mid(from);
}

qsizetype Text::offsetOfLast(int n) const
{
    if (n >= count())
        return 0;
    return starts_.at(starts_.size() - 1 - n);
}

}  // namespace Graphemes
