#include "ui/AddWordDialog.h"

#include "ui/Brand.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int textWidth = 300;  // the width of the two rows below the texts

QLabel* fieldLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPixelSize(11);
    label->setFont(font);
    QPalette palette = label->palette();
    QColor ink = Brand::ink;
    ink.setAlphaF(0.6f);
    palette.setColor(QPalette::WindowText, ink);
    label->setPalette(palette);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

}  // namespace

AddWordDialog::AddWordDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("addWordDialog"));
    setWindowTitle(QStringLiteral("サイリ"));

    auto* message = new QLabel(QStringLiteral("辞書に語を追加"));
    QFont bold = message->font();
    bold.setBold(true);
    bold.setPixelSize(13);
    message->setFont(bold);

    auto* informative = new QLabel(QStringLiteral(
        "「よみ」に入れた言葉が聞き取り結果に出てきたら「書き方」に直します。ひらがなの読みでも、間違って出てくる書き方"
        "（渡辺→渡邊 など）でも構いません。空でもOK。よみ無しなら「、」区切りで複数まとめて追加できます。"));
    informative->setWordWrap(true);
    QFont small = informative->font();
    small.setPixelSize(11);
    informative->setFont(small);
    informative->setFixedWidth(textWidth);

    // Two rows: a 50-wide label and a 244-wide field, 30 apart.
    auto* rows = new QWidget;
    rows->setFixedSize(textWidth, 58);
    fieldLabel(QStringLiteral("書き方"), rows)->setGeometry(0, 6, 50, 18);
    surface_ = new QLineEdit(rows);
    surface_->setObjectName(QStringLiteral("surface"));
    surface_->setPlaceholderText(QStringLiteral("例: 俯瞰図"));
    surface_->setGeometry(56, 2, 244, 24);
    fieldLabel(QStringLiteral("よみ"), rows)->setGeometry(0, 36, 50, 18);
    reading_ = new QLineEdit(rows);
    reading_->setObjectName(QStringLiteral("reading"));
    reading_->setPlaceholderText(QStringLiteral("例: ふかんず ／ 渡辺"));
    reading_->setGeometry(56, 32, 244, 24);

    auto* buttons = new QDialogButtonBox;
    add_ = buttons->addButton(QStringLiteral("追加して反映"), QDialogButtonBox::AcceptRole);
    cancel_ = buttons->addButton(QStringLiteral("やめる"), QDialogButtonBox::RejectRole);
    add_->setDefault(true);
    add_->setAutoDefault(true);
    cancel_->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(8);
    layout->addWidget(message);
    layout->addWidget(informative);
    layout->addSpacing(4);
    layout->addWidget(rows);
    layout->addSpacing(8);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    surface_->setFocus(Qt::OtherFocusReason);
    setTabOrder(surface_, reading_);
}

QString AddWordDialog::surface() const
{
    return surface_->text();
}

QString AddWordDialog::reading() const
{
    return reading_->text();
}
