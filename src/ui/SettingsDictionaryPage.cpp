#include "ui/SettingsDictionaryPage.h"

#include "store/Dictionary.h"
#include "ui/Brand.h"
#include "ui/DictionaryTable.h"
#include "ui/SettingsDrawing.h"

#include <QLabel>
#include <QPushButton>

using SettingsDrawing::fitWidth;
using SettingsDrawing::label;

SettingsDictionaryPage::SettingsDictionaryPage(QWidget* parent, QSize windowSize, DictionaryTable* table,
                                               bool needsApply, bool importUndoable)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("dictionaryPage"));
    const int W = windowSize.width(), H = windowSize.height();
    table->setEntries(Config::dictionaryDisplayEntries());

    // As wide as the table below it, so that both lines show at the smallest size too.
    QLabel* lines = label(this, summary(table->activeCount(), table->replaceableCount()), Brand::font(12),
                          Brand::withAlpha(Brand::ink, 0.5), QRect(36, 88, W - 282, 36), Qt::AlignLeft | Qt::AlignTop);
    lines->setObjectName(QStringLiteral("summary"));
    lines->setWordWrap(true);
    label(this, QStringLiteral("%1 語").arg(table->entries().size()), Brand::font(12, QFont::DemiBold),
          Brand::withAlpha(Brand::ink, 0.5), QRect(W - 410, 58, 90, 16), Qt::AlignRight | Qt::AlignVCenter);

    const QString addTitle = QStringLiteral("＋ 追加");
    const int addWidth = fitWidth(addTitle, Brand::font(12, QFont::DemiBold), 70, 22);
    QWidget* last = SettingsDrawing::gradientButton(this, addTitle, QRect(W - 316, 52, addWidth, 28));
    connect(static_cast<QPushButton*>(last), &QPushButton::clicked, this, &SettingsDictionaryPage::addWordClicked);

    const QFont font = Brand::font(12);
    int x = 36;
    auto bezel = [&](const QString& title, void (SettingsDictionaryPage::*signal)()) {
        const int width = fitWidth(title, font, 130, 26);
        auto* b = new QPushButton(title, this);
        b->setFont(font);
        b->setGeometry(x, 138, width, 30);
        connect(b, &QPushButton::clicked, this, signal);
        x += width + 10;
        last = b;
    };
    bezel(QStringLiteral("プロンプトをコピー"), &SettingsDictionaryPage::copyPromptClicked);
    bezel(QStringLiteral("CSVを読み込む"), &SettingsDictionaryPage::importCSVClicked);
    if (importUndoable)
        bezel(QStringLiteral("読み込みを取り消す"), &SettingsDictionaryPage::undoImportClicked);
    if (needsApply) {
        const QString title = QStringLiteral("変更を反映（認識に効かせる）");
        const int width = fitWidth(title, Brand::font(12, QFont::DemiBold), 200, 22);
        last = SettingsDrawing::gradientButton(this, title, QRect(x - 10 + 6, 139, width, 28));
        connect(static_cast<QPushButton*>(last), &QPushButton::clicked, this, &SettingsDictionaryPage::applyClicked);
    }

    table->setParent(this);
    setTabOrder(last, table->focusProxy());  // the list after the buttons, though it was made before them
    table->setGeometry(36, 214, W - 282, H - 250);
    table->show();
}

QString SettingsDictionaryPage::summary(int active, int replaceable)
{
    QString text = QStringLiteral("上から %1 語が聞き取りに効いています（ドラッグで並べ替えできます）").arg(active);
    if (replaceable > 0)
        text += QStringLiteral("\n残り %1 語も、読み登録があるので認識したあとに自動で直します").arg(replaceable);
    return text;
}
