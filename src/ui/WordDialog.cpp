#include "ui/WordDialog.h"

#include "ui/Brand.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int textWidth = 300;  // the width of the two rows below the texts

QLabel* smallLabel(const QString& text, QWidget* parent, const QColor& colour)
{
    auto* label = new QLabel(text, parent);
    label->setFont(Brand::font(11));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

}  // namespace

WordDialog::WordDialog(const QString& message, const QString& informative, const QString& acceptTitle, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("サイリ"));

    auto* title = new QLabel(message);
    title->setFont(Brand::font(13, QFont::Bold));

    auto* explanation = new QLabel(informative);
    explanation->setWordWrap(true);
    explanation->setFont(Brand::font(11));
    explanation->setFixedWidth(textWidth);

    // Two rows: a 50-wide label and a 244-wide field, 30 apart.
    auto* rows = new QWidget;
    rows->setFixedSize(textWidth, 58);
    const QColor labelColour = Brand::withAlpha(Brand::ink, 0.6);
    smallLabel(QStringLiteral("書き方"), rows, labelColour)->setGeometry(0, 6, 50, 18);
    surface_ = new QLineEdit(rows);
    surface_->setObjectName(QStringLiteral("surface"));
    surface_->setPlaceholderText(QStringLiteral("例: 俯瞰図"));
    surface_->setGeometry(56, 2, 244, 24);
    smallLabel(QStringLiteral("よみ"), rows, labelColour)->setGeometry(0, 36, 50, 18);
    reading_ = new QLineEdit(rows);
    reading_->setObjectName(QStringLiteral("reading"));
    reading_->setPlaceholderText(QStringLiteral("例: ふかんず ／ 渡辺"));
    reading_->setGeometry(56, 32, 244, 24);

    refusal_ = smallLabel(QString(), this, QColor(215, 0, 21));
    refusal_->setObjectName(QStringLiteral("refusal"));
    refusal_->setWordWrap(true);
    refusal_->setFixedWidth(textWidth);
    refusal_->hide();

    auto* buttons = new QDialogButtonBox;
    accept_ = buttons->addButton(acceptTitle, QDialogButtonBox::AcceptRole);
    cancel_ = buttons->addButton(QStringLiteral("やめる"), QDialogButtonBox::RejectRole);
    accept_->setDefault(true);
    accept_->setAutoDefault(true);
    cancel_->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &WordDialog::confirm);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(8);
    layout->addWidget(title);
    layout->addWidget(explanation);
    layout->addSpacing(4);
    layout->addWidget(rows);
    layout->addWidget(refusal_);
    layout->addSpacing(8);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    surface_->setFocus(Qt::OtherFocusReason);
    setTabOrder(surface_, reading_);
}

QString WordDialog::surface() const
{
    return surface_->text();
}

QString WordDialog::reading() const
{
    return reading_->text();
}

QString WordDialog::refusal() const
{
    return refusal_->isVisible() ? refusal_->text() : QString();
}

void WordDialog::confirm()
{
    const QString answer = check_ ? check_() : QString();
    refusal_->setText(answer);
    refusal_->setVisible(!answer.isEmpty());
    if (answer.isEmpty())
        accept();
}
