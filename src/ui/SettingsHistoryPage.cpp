#include "ui/SettingsHistoryPage.h"

#include "platform/PlatformWords.h"
#include "ui/Brand.h"
#include "ui/SettingsDrawing.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
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

    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("historyList"));
    scroll->setGeometry(36, 134, W - 282, H - 170);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setStyleSheet(QStringLiteral("QScrollArea#historyList { background: white; border: 1px solid %1; "
                                         "border-radius: 12px; }")
                              .arg(Brand::hairline.name()));
    const int width = scroll->width() - 2;  // inside the border
    const int textWidth = scroll->width() - 170;
    const QFont font = Brand::font(12.5);
    const int fourLines = int(4 * SettingsDrawing::lineHeight(font));

    QList<int> heights;
    int sum = 0;
    for (const auto& entry : entries) {
        heights << std::max(66,
                            std::min(SettingsDrawing::measuredHeight(entry.second, textWidth, font), fourLines) + 44);
        sum += heights.last();
    }
    const int documentHeight = std::max(scroll->height() - 2, entries.isEmpty() ? 12 : sum + 12);
    auto* document = new QWidget;
    document->setObjectName(QStringLiteral("historyDocument"));
    document->setStyleSheet(QStringLiteral("QWidget#historyDocument { background: white; }"));
    document->resize(width, documentHeight);

    if (entries.isEmpty())
        label(document, QStringLiteral("まだありません。話してみてください。"), Brand::font(12),
              Brand::withAlpha(Brand::ink, 0.35), QRect(24, 26, 400, 18));

    const QFont buttonFont = Brand::font(11, QFont::Medium);
    const int buttonWidth =
        SettingsDrawing::fitWidth(QStringLiteral("コピー"), buttonFont, 86, 22, QStringLiteral("✓ コピーしました"));
    int top = 6;
    for (int i = 0; i < entries.size(); ++i) {
        const int rowHeight = heights.at(i);
        const QString& text = entries.at(i).second;
        QLabel* shown = label(document, SettingsDrawing::trimForDisplay(text, 4, textWidth, font), font, Brand::ink,
                              QRect(20, top + 14, textWidth, rowHeight - 40), Qt::AlignLeft | Qt::AlignTop);
        shown->setWordWrap(true);
        label(document, entries.at(i).first.toLocalTime().toString(QStringLiteral("M/d HH:mm")), Brand::font(10.5),
              Brand::withAlpha(Brand::ink, 0.35), QRect(20, top + rowHeight - 22, 120, 14));
        auto* copy = new QPushButton(QStringLiteral("コピー"), document);
        copy->setFont(buttonFont);
        copy->setProperty(fullText, text);
        copy->setGeometry(width - 24 - buttonWidth, top + (rowHeight - 26) / 2, buttonWidth, 26);
        connect(copy, &QPushButton::clicked, copy, [copy] { copyHistory(copy); });
        if (i + 1 < entries.size()) {
            auto* line = new QWidget(document);
            line->setAutoFillBackground(true);
            QPalette p = line->palette();
            p.setColor(QPalette::Window, Brand::hairline);
            line->setPalette(p);
            line->setGeometry(20, top + rowHeight - 1, width - 40, 1);
        }
        top += rowHeight;
    }
    scroll->setWidget(document);
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
