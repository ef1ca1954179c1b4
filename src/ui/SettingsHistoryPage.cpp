#include "ui/SettingsHistoryPage.h"

#include "platform/PlatformWords.h"
#include "ui/Brand.h"
#include "ui/RoundedPanel.h"
#include "ui/SettingsDrawing.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

using SettingsDrawing::label;

namespace {

const char* const fullText = "fullText";

QString inkStyle(const QColor& c)
{
    return QStringLiteral("color: rgba(%1,%2,%3,%4);").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alphaF());
}

}  // namespace

SettingsHistoryPage::SettingsHistoryPage(QWidget* parent, QSize windowSize,
                                         const QList<QPair<QDateTime, QString>>& entries)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("historyPage"));
    const int W = windowSize.width(), H = windowSize.height();
    label(this,
          QStringLiteral("「コピー」を押すとクリップボードに入ります（%1 で貼り付け）")
              .arg(PlatformWords::pasteKeystroke()),
          Brand::font(12), Brand::withAlpha(Brand::ink, 0.5), QRect(36, 88, 460, 18));

    // The list: a rounded white panel with the scrolling rows inside its border.
    auto* panel = new RoundedPanel(this, 12);
    panel->setGeometry(36, 134, W - 282, H - 170);
    scroll_ = new QScrollArea(panel);
    scroll_->setObjectName(QStringLiteral("historyList"));
    scroll_->setGeometry(panel->rect().adjusted(1, 6, -1, -6));
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setAccessibleName(QStringLiteral("履歴"));  // it takes the focus, to scroll by keys
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    textWidth_ = panel->width() - 170;
    const QFont font = Brand::font(12.5);

    entries_ = entries;
    int top = 0;  // the panel keeps 6 points above and below the rows
    for (const auto& entry : entries) {
        tops_ << top;
        heights_ << std::max(66, SettingsDrawing::heightUpTo(entry.second, 4, textWidth_, font) + 44);
        made_ << false;
        top += heights_.last();
    }
    document_ = new QWidget;
    document_->setAutoFillBackground(true);
    QPalette white = document_->palette();
    white.setColor(QPalette::Window, Qt::white);
    document_->setPalette(white);
    document_->resize(scroll_->width(), std::max(scroll_->height(), entries.isEmpty() ? 12 : top));
    if (entries.isEmpty())
        label(document_, QStringLiteral("まだありません。話してみてください。"), Brand::font(12),
              Brand::withAlpha(Brand::ink, 0.35), QRect(24, 20, 400, 18));
    scroll_->setWidget(document_);
    addRowsInView();
    connect(scroll_->verticalScrollBar(), &QScrollBar::valueChanged, this, &SettingsHistoryPage::addRowsInView);
}

void SettingsHistoryPage::addRowsInView()
{
    const int from = scroll_->verticalScrollBar()->value();
    const int to = from + 2 * scroll_->height();
    for (int i = 0; i < entries_.size() && tops_.at(i) < to; ++i)
        if (!made_.at(i) && tops_.at(i) + heights_.at(i) > from)
            addRow(i);
}

void SettingsHistoryPage::addRow(int i)
{
    made_[i] = true;
    const int top = tops_.at(i), rowHeight = heights_.at(i), width = document_->width();
    const QString& text = entries_.at(i).second;
    const QFont font = Brand::font(12.5);
    QLabel* shown = label(document_, SettingsDrawing::trimForDisplay(text, 4, textWidth_, font), font, Brand::ink,
                          QRect(20, top + 14, textWidth_, rowHeight - 40), Qt::AlignLeft | Qt::AlignTop);
    shown->setWordWrap(true);
    label(document_, entries_.at(i).first.toLocalTime().toString(QStringLiteral("M/d HH:mm")), Brand::font(10.5),
          Brand::withAlpha(Brand::ink, 0.35), QRect(20, top + rowHeight - 22, 120, 14));
    const QFont buttonFont = Brand::font(11, QFont::Medium);
    const int buttonWidth =
        SettingsDrawing::fitWidth(QStringLiteral("コピー"), buttonFont, 86, 22, QStringLiteral("✓ コピーしました"));
    auto* copy = new QPushButton(QStringLiteral("コピー"), document_);
    copy->setFont(buttonFont);
    copy->setProperty(fullText, text);
    copy->setGeometry(width - 24 - buttonWidth, top + (rowHeight - 26) / 2, buttonWidth, 26);
    connect(copy, &QPushButton::clicked, copy, [copy] { copyHistory(copy); });
    if (i + 1 < entries_.size()) {
        auto* line = new QWidget(document_);
        line->setAutoFillBackground(true);
        QPalette p = line->palette();
        p.setColor(QPalette::Window, Brand::hairline);
        line->setPalette(p);
        line->setGeometry(20, top + rowHeight - 1, width - 40, 1);
    }
    for (QWidget* child : document_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        child->show();
}

void SettingsHistoryPage::copyHistory(QPushButton* button)
{
    const QVariant text = button->property(fullText);
    if (!text.isValid())
        return;
    QGuiApplication::clipboard()->setText(text.toString(), QClipboard::Clipboard);
    button->setText(QStringLiteral("✓ コピーしました"));
    button->setStyleSheet(inkStyle(Brand::orangeDeep));
    QTimer::singleShot(2000, button, [button] {
        button->setText(QStringLiteral("コピー"));
        button->setStyleSheet(QString());
    });
}
