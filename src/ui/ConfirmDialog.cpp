#include "ui/ConfirmDialog.h"

#include "ui/Brand.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* plainLabel(const QString& text, const QFont& font, const QColor& colour)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setWordWrap(true);
    label->setFixedWidth(ConfirmDialog::textWidth);
    if (colour.isValid()) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, colour);
        label->setPalette(palette);
    }
    return label;
}

}  // namespace

ConfirmDialog::ConfirmDialog(const QString& message, const QString& informative, const QString& acceptTitle,
                             QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("サイリ"));

    refusal_ = plainLabel(QString(), Brand::font(11), Brand::alert);
    refusal_->setObjectName(QStringLiteral("refusal"));
    refusal_->hide();

    auto* buttons = new QDialogButtonBox;
    accept_ = buttons->addButton(acceptTitle, QDialogButtonBox::AcceptRole);
    cancel_ = buttons->addButton(QStringLiteral("やめる"), QDialogButtonBox::RejectRole);
    accept_->setDefault(true);
    accept_->setAutoDefault(true);
    cancel_->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &ConfirmDialog::confirm);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(8);
    layout->addWidget(plainLabel(message, Brand::font(13, QFont::Bold), QColor()));
    layout->addWidget(plainLabel(informative, Brand::font(11), QColor()));
    content_ = new QVBoxLayout;
    content_->setContentsMargins(0, 4, 0, 0);
    layout->addLayout(content_);
    layout->addWidget(refusal_);
    layout->addSpacing(8);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void ConfirmDialog::addContent(QWidget* content)
{
    content_->addWidget(content);
}

QString ConfirmDialog::refusal() const
{
    return refusal_->isVisibleTo(this) ? refusal_->text() : QString();
}

void ConfirmDialog::confirm()
{
    const QString answer = check_ ? check_() : QString();
    refusal_->setText(answer);
    refusal_->setVisible(!answer.isEmpty());
    if (answer.isEmpty())
        accept();
}
