#include "ui/CsvImportConfirmDialog.h"

#include "support/Graphemes.h"
#include "ui/Brand.h"

#include <QLabel>

namespace {

constexpr int longestExample = 24;  // characters

QString cut(const QString& text)
{
    if (Graphemes::count(text) <= longestExample)
        return text;
    return Graphemes::left(text, longestExample) + QStringLiteral("…");
}

}  // namespace

CsvImportConfirmDialog::CsvImportConfirmDialog(const Config::CSVWords& csv, QWidget* parent)
    : ConfirmDialog(QStringLiteral("単語表から%1語を辞書に追加しますか？").arg(csv.words.size()),
                    QStringLiteral("読み込む前の辞書は残しておくので、「読み込みを取り消す」ですぐ戻せます。"),
                    QStringLiteral("追加して反映"), parent)
{
    setObjectName(QStringLiteral("csvImportConfirmDialog"));
    QStringList lines;
    for (const Config::DictionaryEntry& word : csv.words.mid(0, examplesShown))
        lines << (word.reading ? QStringLiteral("・%1（よみ: %2）").arg(cut(word.surface), cut(*word.reading))
                               : QStringLiteral("・") + cut(word.surface));
    if (csv.words.size() > examplesShown)
        lines << QStringLiteral("ほか%1語").arg(csv.words.size() - examplesShown);
    if (csv.duplicates > 0)
        lines << QStringLiteral("重複%1語は飛ばします").arg(csv.duplicates);
    if (csv.unusable > 0)
        lines << QStringLiteral("単語表の形でない%1行は読みません").arg(csv.unusable);

    auto* words = new QLabel(lines.join(u'\n'));
    words->setObjectName(QStringLiteral("summary"));
    words->setTextFormat(Qt::PlainText);  // the file's words as written, never markup
    words->setFont(Brand::font(12));
    words->setWordWrap(true);
    words->setFixedWidth(textWidth);
    addContent(words);
}

QString CsvImportConfirmDialog::summary() const
{
    return findChild<QLabel*>(QStringLiteral("summary"))->text();
}
