#pragma once

#include <QString>
#include <QStringList>

// Clean-up of recognised text: drops phrases the model tends to invent at the
// end of a recording and joins the server's lines into one. Pure text work;
// every comparison is on user-perceived characters.
namespace Transcript {

QString clean(const QString& raw);
// Whether the text ends in one phrase said over and over (white space aside):
// how the model runs away when its window holds too little audio. A phrase of
// up to 7 characters counts at 4 repeats, a longer one (up to 40) at 3, and
// only over at least 16 characters together.
bool runsAway(const QString& text);
QString joinLines(const QString& text);
// The separator between the text so far and the next line: "", " ", "、" or "。".
QString 継ぎ目(const QString& 前, const QString& 次);

extern const QStringList punctuation;
extern const QStringList 単独でも消す定型句;            // removed even when they are the whole text
extern const QStringList 後ろにあるときだけ消す定型句;  // removed only after other text
extern const QStringList 続きの頭;                      // a line starting so continues the sentence
extern const QStringList 文末の形;                      // sentence-final forms
extern const QStringList 新しい始まり;                  // beginnings of a new sentence or clause
extern const QStringList 読点の形;                      // forms followed by "、"
extern const QStringList 読点の1字;                     // single characters followed by "、"
extern const QStringList 接続詞;                        // conjunctions followed by "、"

}  // namespace Transcript
