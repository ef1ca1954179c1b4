#include "ui/SettingsGeneralPage.h"

#include "desktop/TriggerKey.h"
#include "platform/LoginItem.h"
#include "platform/PlatformWords.h"
#include "preview/LivePreview.h"
#include "store/Config.h"
#include "store/Log.h"
#include "ui/Brand.h"
#include "ui/SettingsDrawing.h"
#include "ui/SettingsSidebar.h"
#include "ui/SettingsSymbols.h"
#include "ui/ToggleSwitch.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

using SettingsDrawing::fromBottom;
using SettingsDrawing::label;

namespace {

constexpr int cardHeight = 76;

QComboBox* popUp(QWidget* card, int cardWidth)
{
    auto* box = new QComboBox(card);
    box->setFont(Brand::font(12));
    box->setAccessibleName(card->accessibleName());
    box->setGeometry(fromBottom(cardWidth - 250, 24, 226, 26, cardHeight));
    return box;
}

ToggleSwitch* toggle(QWidget* card, int cardWidth, bool on)
{
    auto* s = new ToggleSwitch(card);
    s->setAccessibleName(card->accessibleName());
    s->setChecked(on);
    s->setGeometry(fromBottom(cardWidth - 76, 24, 52, 28, cardHeight));
    return s;
}

}  // namespace

SettingsGeneralPage::SettingsGeneralPage(QWidget* parent, int windowWidth, LoginItem* loginItem, AudioInputs* inputs)
    : QWidget(parent), cardWidth_(windowWidth - SettingsSidebar::width - 72), loginItem_(loginItem)
{
    setObjectName(QStringLiteral("generalPage"));
    label(this, QStringLiteral("話した言葉を、そのまま文字にして貼り付けます"), Brand::font(12),
          Brand::withAlpha(Brand::ink, 0.5), QRect(36, 88, 500, 18));
    const QString computer = PlatformWords::computer();

    QWidget* keyCard = addCard(0, QStringLiteral("keyboard"), QStringLiteral("録音に使うキー"),
                               QStringLiteral("2回押すと録音、もう1回で貼り付け"), 262);
    QComboBox* keys = popUp(keyCard, cardWidth_);
    const QString current = Config::shared().triggerKeyId;
    for (const TriggerKey& key : TriggerKey::all()) {
        keys->addItem(key.label, key.id);
        if (key.id == current)
            keys->setCurrentIndex(keys->count() - 1);
    }
    connect(keys, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < TriggerKey::all().size())
            Q_EMIT triggerKeyChosen(TriggerKey::all().at(index).id);
    });

    QWidget* micCard = addCard(1, QStringLiteral("mic"), QStringLiteral("マイク"),
                               QStringLiteral("ふだんは「%1と同じ」のままでOKです").arg(computer), 262);
    QComboBox* mics = popUp(micCard, cardWidth_);
    fillMicPopUp(mics, inputs ? inputs->inputs() : QList<AudioInputDevice>{}, Config::shared().micDeviceUID);
    connect(mics, &QComboBox::activated, this,
            [this, mics](int index) { Q_EMIT micChosen(mics->itemData(index).toString()); });

    QWidget* loginCard = addCard(2, QStringLiteral("power"), QStringLiteral("ログイン時に自動で起動"),
                                 QStringLiteral("%1を立ち上げたらすぐ使えます").arg(computer), 100);
    ToggleSwitch* login = toggle(loginCard, cardWidth_, loginItem_ && loginItem_->isEnabled());
    login->setObjectName(QStringLiteral("loginSwitch"));
    connect(login, &ToggleSwitch::toggled, this, [this, login](bool on) {
        toggleLogin(on);
        const QSignalBlocker quiet(login);
        login->setChecked(loginItem_ && loginItem_->isEnabled());
    });

    QWidget* hintCard = addCard(3, QStringLiteral("macwindow"), QStringLiteral("画面に出ている言葉をヒントにする"),
                                QStringLiteral("聞き取りの精度が上がります（読んだ内容は保存しません）"), 100);
    // What reads the screen: the desktop's accessibility, which the first
    // dictation with hints switches on when it is off.
    addNote(hintCard, 1, QStringLiteral("読み取りにデスクトップのアクセシビリティ機能を使います"), 100);
    ToggleSwitch* hints = toggle(hintCard, cardWidth_, Config::shared().screenHintsOn());
    hints->setObjectName(QStringLiteral("screenHintSwitch"));
    connect(hints, &ToggleSwitch::toggled, this, &SettingsGeneralPage::toggleScreenHint);

    // The grey text needs a small recognition model of its own here; there is
    // no permission to ask for, so the card offers its download.
    if (LivePreview::available() && !LivePreview::authorized()) {
        QWidget* previewCard = addCard(
            4, QStringLiteral("text.bubble"), QStringLiteral("話している最中のグレー仮文字（仮表示）"),
            QStringLiteral("小さな音声認識データ（約148MB）を取り寄せると見えます（処理は%1の中だけ）").arg(computer),
            190);
        const QString title = QStringLiteral("ダウンロードする");
        const QFont font = Brand::font(12);
        const int width = SettingsDrawing::fitWidth(title, font, 150, 26);
        auto* download = new QPushButton(title, previewCard);
        download->setFont(font);
        download->setGeometry(fromBottom(cardWidth_ - width - 24, 23, width, 30, cardHeight));
        QLabel* note = previewCard->findChild<QLabel*>(QStringLiteral("note"));
        connect(download, &QPushButton::clicked, this,
                [this, note, download] { Q_EMIT livePreviewDownloadAsked(note, download); });
        previewNote_ = note;
        previewButton_ = download;
    }
}

void SettingsGeneralPage::fillMicPopUp(QComboBox* popUp, const QList<AudioInputDevice>& devices, const QString& uid)
{
    popUp->addItem(QStringLiteral("%1と同じ（自動）").arg(PlatformWords::computer()), QString());
    if (!devices.isEmpty())
        popUp->insertSeparator(popUp->count());
    for (const AudioInputDevice& device : devices)
        popUp->addItem(device.name, device.uid);
    if (uid.isEmpty()) {
        popUp->setCurrentIndex(0);
        return;
    }
    const int found = popUp->findData(uid);
    if (found >= 0) {
        popUp->setCurrentIndex(found);
        return;
    }
    popUp->addItem(QStringLiteral("選択中のマイク（見つかりません）"), uid);
    popUp->setCurrentIndex(popUp->count() - 1);
}

QWidget* SettingsGeneralPage::addCard(int index, const QString& icon, const QString& title, const QString& note,
                                      int rightInset)
{
    // The first card's bottom edge 190 points below the page's top, each next one 92 lower.
    QWidget* c = SettingsDrawing::card(this, QRect(36, 190 - cardHeight + 92 * index, cardWidth_, cardHeight));
    c->setAccessibleName(title);  // also the name of the card's control
    if (auto symbol = SettingsSymbols::symbol(icon, 18, Brand::orange)) {
        auto* image = new QLabel(c);
        image->setPixmap(*symbol);
        image->setAlignment(Qt::AlignCenter);
        image->setGeometry(fromBottom(22, 26, 22, 22, cardHeight));
    }
    // Title and note end before the control on the right, also in a narrow window.
    const int textWidth = std::max(60, cardWidth_ - 58 - rightInset);
    QLabel* t = label(c, QString(), Brand::font(13.5, QFont::DemiBold), Brand::ink,
                      fromBottom(58, cardHeight - 34, std::min(320, textWidth), 20, cardHeight));
    t->setText(QFontMetrics(t->font()).elidedText(title, Qt::ElideRight, t->width()));
    addNote(c, 0, note, rightInset)->setObjectName(QStringLiteral("note"));
    return c;
}

QLabel* SettingsGeneralPage::addNote(QWidget* card, int line, const QString& note, int rightInset)
{
    const int textWidth = std::max(60, cardWidth_ - 58 - rightInset);
    QLabel* n = label(card, QString(), Brand::font(11), Brand::withAlpha(Brand::ink, 0.45),
                      fromBottom(58, cardHeight - 52 - 17 * line, textWidth, 16, cardHeight));
    n->setText(QFontMetrics(n->font()).elidedText(note, Qt::ElideRight, n->width()));
    n->setToolTip(note);
    return n;
}

void SettingsGeneralPage::toggleLogin(bool on)
{
    if (!loginItem_)
        return;
    QString error;
    if (!loginItem_->setEnabled(on, error))
        Log::write(QStringLiteral("自動起動の切り替えに失敗: %1").arg(error));
}

void SettingsGeneralPage::toggleScreenHint(bool on)
{
    Config::edit([on](ConfigData& c) { c.screenHintEnabled = on; });
    Config::save();
    Log::write(QStringLiteral("画面のヒント: %1").arg(on ? QStringLiteral("オン") : QStringLiteral("オフ")));
    Q_EMIT screenHintChanged();
}
