#pragma once

#include <QString>
#include <QStringList>

// User-perceived characters (extended grapheme clusters). Every character
// budget, limit and count shown to the user goes through here.
namespace Graphemes {

int count(const QString& text);
QStringList split(const QString& text);   // one element per character
QString left(const QString& text, int n); // the first n characters

}  // namespace Graphemes
