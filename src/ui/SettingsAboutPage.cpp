#include "ui/SettingsAboutPage.h"

#include "desktop/TriggerKey.h"
#include "platform/PlatformWords.h"
#include "preview/LivePreview.h"
#include "store/Config.h"
#include "ui/Brand.h"
#include "ui/SettingsDrawing.h"
#include "ui/SettingsSymbols.h"

#include <QLabel>
#include <QScrollArea>

using SettingsDrawing::label;

namespace {

struct Line {
    QString text;
    bool remark = false;
    bool gapBefore = false;
};

struct HelpCard {
    QString icon;
    QString title;
    QList<Line> body;
    bool steps = false;  // the three numbered steps come first
};

QList<HelpCard> helpCards()
{
    const QString computer = PlatformWords::computer();
    QList<Line> basics{
        {QStringLiteral("※ 取り消したいときは esc キー（バーの ✕ ボタンでも同じ）"), true},
        {QStringLiteral("※ 使うキーは「設定」でいつでも変えられます"), true},
        {QStringLiteral("※ バー（オレンジ枠）はドラッグで好きな場所へ。ダブルクリックで元の位置に戻ります"), true},
        {QStringLiteral("※ 録音中のグレーの仮文字（仮表示）は話している途中の下書きです。確定の文字とは別物です"),
         true},
    };
    if (LivePreview::available())
        basics << Line{QStringLiteral("※ 仮文字が出ないときは、「設定」で仮表示用のデータを取り寄せてください"), true};
    return {
        {QStringLiteral("keyboard"), QStringLiteral("基本の使い方"), basics, true},
        {QStringLiteral("character.book.closed"),
         QStringLiteral("じぶん辞書で聞き取りを賢く"),
         {{QStringLiteral("会社名・人名・専門用語を登録すると、聞き間違いが減ります。")},
          {QStringLiteral("「＋ 追加」で1語ずつ。まとめて作るなら「プロンプトをコピー」をAIに貼り、")},
          {QStringLiteral("できた単語表を「CSVを読み込む」で取り込みます。")},
          {QStringLiteral("「ふかんず=俯瞰図」のように付けると、そう聞き取られたとき自動で直します。"
                          "左側は「渡辺=渡邊」のように漢字でもOK。"),
           false, true},
          {QStringLiteral("聞き取りに効くのは上から%1字ぶん。よく使う語を上に置いてください。")
               .arg(Config::dictionaryBudget),
           true}}},
        {QStringLiteral("doc.on.clipboard"),
         QStringLiteral("貼り付けをやり直したいとき"),
         {{QStringLiteral("貼り付けた文はコピーにも残っています。%1 でもう一度貼れます。")
               .arg(PlatformWords::pasteKeystroke())},
          {QStringLiteral("過去の分は「履歴」ページからコピーできます。")}}},
        {QStringLiteral("macwindow"),
         QStringLiteral("画面に出ている言葉をヒントにする"),
         {{QStringLiteral("録音を始めたとき、そのとき開いているアプリの画面に出ている言葉を読んで、")},
          {QStringLiteral("聞き取りのヒントに使います。メールや資料に出ている会社名・人名が、")},
          {QStringLiteral("そのまま正しい字で入りやすくなります。")},
          {QStringLiteral("読んだ言葉は、その場でヒントに変えたらすぐ捨てます。"), false, true},
          {QStringLiteral("ファイルに残すことも、インターネットに送ることもありません。")},
          {QStringLiteral("画面の写真（スクリーンショット）は撮りません。")},
          {QStringLiteral("※ やめたいときは「設定」の「画面に出ている言葉をヒントにする」をオフに。"), true, true},
          {QStringLiteral("　 オフにしても、じぶん辞書はこれまでどおり効きます。"), true}}},
        {QStringLiteral("lock.fill"),
         QStringLiteral("データと通信について"),
         {{QStringLiteral("音声・文字にした内容・じぶん辞書・履歴は、すべてこの%1の中だけで処理します。")
               .arg(computer)},
          {QStringLiteral("入力した内容をインターネットに送ることは一切ありません。")},
          {QStringLiteral("録音した音声は、文字にしたあとすぐ捨てます。保存はしません。")},
          {QStringLiteral("・はじめて使うときに、音声認識用のデータ（約550MB）を取り寄せるとき"), true, true},
          {QStringLiteral("・アプリの新しい版が出ていないかの確認と、その取り寄せ"), true}}},
    };
}

// The three numbered steps of the first card from `top`; returns the y below them.
int addSteps(QWidget* card, int top, int width)
{
    const QString key = TriggerKey::find(Config::shared().triggerKeyId).label;
    const QStringList steps[] = {
        {QStringLiteral("「%1」を2回ポンポンと押す").arg(key),
         QStringLiteral("録音が始まります（画面下にバーが出ます）")},
        {QStringLiteral("話す"), QStringLiteral("話している最中は、バーにグレーの仮文字が流れます")},
        {QStringLiteral("もう1回押す"), QStringLiteral("文字になって、いま選んでいる入力欄に自動で貼り付きます")},
    };
    for (int i = 0; i < 3; ++i) {
        Brand::gradientLayer(card, QRect(20, top, 20, 20), 10, true);
        label(card, QString::number(i + 1), Brand::font(11, QFont::Bold), Qt::white, QRect(20, top, 20, 20),
              Qt::AlignCenter);
        label(card, steps[i].at(0), Brand::font(12.5, QFont::DemiBold), Brand::ink, QRect(48, top - 1, width, 18));
        label(card, steps[i].at(1), Brand::font(11), Brand::withAlpha(Brand::ink, 0.5), QRect(48, top + 19, width, 15));
        top += 44;
    }
    return top + 4;
}

}  // namespace

SettingsAboutPage::SettingsAboutPage(QWidget* parent, QSize windowSize) : QWidget(parent)
{
    setObjectName(QStringLiteral("aboutPage"));
    const int W = windowSize.width(), H = windowSize.height();
    auto* scroll = new QScrollArea(this);
    scroll->setGeometry(36, 114, W - 282, H - 150);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setAccessibleName(QStringLiteral("使い方"));  // it takes the focus, to scroll by keys
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* document = new QWidget;
    document->setObjectName(QStringLiteral("aboutDocument"));
    scroll->viewport()->setAutoFillBackground(false);

    // Leave room for a scroll bar: the cards are taller than the page at the minimum size.
    const int cardWidth = scroll->width() - 4 - 12;
    const int textWidth = cardWidth - 48 - 16;
    const QFont main = Brand::font(12);
    int y = 0;
    for (const HelpCard& help : helpCards()) {
        QWidget* card = SettingsDrawing::card(document, QRect(0, y, cardWidth, 10));
        if (auto symbol = SettingsSymbols::symbol(help.icon, 17, Brand::orange)) {
            auto* icon = new QLabel(card);
            icon->setPixmap(*symbol);
            icon->setGeometry(20, 17, 20, 20);
            icon->setAlignment(Qt::AlignCenter);
        }
        label(card, help.title, Brand::font(14, QFont::Bold), Brand::ink, QRect(48, 18, textWidth, 20));
        int line = help.steps ? addSteps(card, 48, textWidth) : 48;
        for (const Line& l : help.body) {
            if (l.gapBefore)
                line += 6;
            // A line wider than the card wraps and takes 21 points per line.
            const int lines = std::max(1, int(std::lround(SettingsDrawing::measuredHeight(l.text, textWidth, main)
                                                          / SettingsDrawing::lineHeight(main))));
            QLabel* shown = label(card, l.text, main, Brand::withAlpha(Brand::ink, l.remark ? 0.5 : 0.8),
                                  QRect(48, line, textWidth, 17 + 21 * (lines - 1)), Qt::AlignLeft | Qt::AlignTop);
            shown->setWordWrap(lines > 1);
            line += 21 * lines;
        }
        card->resize(cardWidth, line + 16);
        y += card->height() + 12;
    }
    document->resize(scroll->width() - 4, std::max(scroll->height(), y - 12));
    scroll->setWidget(document);
}
