#include "ui/WordDialog.h"

#include "ui/Brand.h"

#include <QLabel>
#include <QLineEdit>

namespace {

QLabel* smallLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(Brand::font(11));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Brand::withAlpha(Brand::ink, 0.6));
    label->setPalette(palette);
    return label;
}

}  // namespace

WordDialog::WordDialog(const QString& message, const QString& informative, const QString& acceptTitle, QWidget* parent)
    : ConfirmDialog(message, informative, acceptTitle, parent)
{
    // Two rows: a 50-wide label and a 244-wide field, 30 apart.
    auto* rows = new QWidget;
    rows->setFixedSize(textWidth, 58);
    smallLabel(QStringLiteral("書き方"), rows)->setGeometry(0, 6, 50, 18);
    surface_ = new QLineEdit(rows);
    surface_->setObjectName(QStringLiteral("surface"));
    surface_->setPlaceholderText(QStringLiteral("例: 俯瞰図"));
    surface_->setAccessibleName(QStringLiteral("書き方"));
    surface_->setGeometry(56, 2, 244, 24);
    smallLabel(QStringLiteral("よみ"), rows)->setGeometry(0, 36, 50, 18);
    reading_ = new QLineEdit(rows);
    reading_->setObjectName(QStringLiteral("reading"));
    reading_->setPlaceholderText(QStringLiteral("例: ふかんず ／ 渡辺"));
    reading_->setAccessibleName(QStringLiteral("よみ"));
    reading_->setGeometry(56, 32, 244, 24);
    addContent(rows);
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
