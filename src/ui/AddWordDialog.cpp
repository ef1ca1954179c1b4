#include "ui/AddWordDialog.h"

AddWordDialog::AddWordDialog(QWidget* parent)
    : WordDialog(
        QStringLiteral("辞書に語を追加"),
        QStringLiteral("「よみ」に入れた言葉が聞き取り結果に出てきたら「書き方」に直します。ひらがなの読みでも、"
                       "間違って出てくる書き方（渡辺→渡邊 など）でも構いません。空でもOK。"
                       "よみ無しなら「、」区切りで複数まとめて追加できます。"),
        QStringLiteral("追加して反映"), parent)
{
    setObjectName(QStringLiteral("addWordDialog"));
}
