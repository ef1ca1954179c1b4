#include "ui/SettingsSidebar.h"

#include "BuildSettings.h"
#include "provision/UpdateNotice.h"
#include "ui/Brand.h"
#include "ui/Icons.h"
#include "ui/SettingsDrawing.h"
#include "ui/SettingsSymbols.h"

#include <QDesktopServices>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

using SettingsDrawing::label;

namespace {

const Icons::Name pageIcons[] = {Icons::Name::nav_settings, Icons::Name::nav_dictionary, Icons::Name::nav_history,
                                 Icons::Name::nav_help};

QString colour(const QColor& c)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alphaF());
}

void setLook(QPushButton* button, Icons::Name icon, bool selected)
{
    if (auto pixmap = SettingsDrawing::sidebarIcon(icon, selected)) {
        button->setIcon(*pixmap);
        button->setIconSize(pixmap->deviceIndependentSize().toSize());
    }
    button->setStyleSheet(QStringLiteral("QPushButton { border: none; outline: none; background: transparent; text-align: left; "
                                         "padding: 0; color: %1; }")
                              .arg(colour(Brand::withAlpha(Brand::ink, selected ? 1.0 : 0.65))));
}

}  // namespace

SettingsSidebar::SettingsSidebar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("sidebar"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Brand::sidebar);
    setPalette(p);

    // Frames from the top: the Part's y at a height of 600, turned over.
    if (auto logo = Icons::image(Icons::Name::logo_mark, 56)) {
        auto* icon = new QLabel(this);
        icon->setPixmap(Icons::shown(*logo, Brand::orange));
        icon->setGeometry(16, 32, 56, 56);
    } else {
        auto* square = Brand::gradientLayer(this, QRect(26, 48, 26, 26), 13, true);
        auto* shadow = new QGraphicsDropShadowEffect(square);
        shadow->setColor(Brand::withAlpha(Brand::orangeDeep, 0.35));
        shadow->setBlurRadius(6);
        shadow->setOffset(0);
        square->setGraphicsEffect(shadow);
    }
    label(this, QStringLiteral("サイリ"), Brand::font(19, QFont::Bold), Brand::ink, QRect(76, 48, 126, 24));
    label(this, QStringLiteral("ローカル音声入力アプリ"), Brand::font(10.5, QFont::Medium),
          Brand::withAlpha(Brand::ink, 0.5), QRect(26, 87, 180, 15));
    label(this, QStringLiteral("Sayri v" SAYRI_VERSION), Brand::font(9.5), Brand::withAlpha(Brand::ink, 0.3),
          QRect(26, 104, 180, 13));

    highlight_ = new QWidget(this);
    highlight_->setObjectName(QStringLiteral("selection"));
    highlight_->setStyleSheet(
        QStringLiteral("QWidget#selection { border-radius: 9px; background: qlineargradient("
                       "x1:0, y1:0, x2:1, y2:0, stop:0 %1, stop:1 %2); }")
            .arg(colour(Brand::withAlpha(Brand::orangeDeep, 0.2)), colour(Brand::withAlpha(Brand::orangeLight, 0.1))));
    for (int i = 0; i < 4; ++i) {
        QPushButton* b = button(120 + 42 * i, SettingsPages::titles().at(i));
        connect(b, &QPushButton::clicked, this, [this, i] { Q_EMIT pageChosen(SettingsPage(i)); });
        pageButtons_ << b;
    }
    const QUrl feedback(QStringLiteral(SAYRI_FEEDBACK_URL));
    if (!feedback.isEmpty() && feedback.isValid()) {
        QPushButton* b = button(288, QStringLiteral("改善のご要望"));
        setLook(b, Icons::Name::nav_feedback, false);
        connect(b, &QPushButton::clicked, this, [feedback] { QDesktopServices::openUrl(feedback); });
    }
    QPushButton* update = button(372, QStringLiteral("アップデートを確認"));
    setLook(update, Icons::Name::nav_update, false);
    connect(update, &QPushButton::clicked, this, &SettingsSidebar::updateCheckRequested);

    QPushButton* about = button(414, QStringLiteral("サイリについて"));
    setLook(about, Icons::Name::nav_help, false);
    connect(about, &QPushButton::clicked, this, &SettingsSidebar::aboutRequested);
    QPushButton* quit = button(456, QStringLiteral("サイリを終了"));
    quit->setObjectName(QStringLiteral("quitButton"));
    setLook(quit, Icons::Name::nav_help, false);
    // Drawn as the other entries' icons are, so that its title lines up with theirs.
    if (auto power = SettingsSymbols::symbol(QStringLiteral("power"), 17, Brand::ink)) {
        const QPixmap icon = SettingsDrawing::tintedBitmap(*power, Brand::ink, 0.65, 10);
        quit->setIcon(icon);
        quit->setIconSize(icon.deviceIndependentSize().toSize());
    }
    connect(quit, &QPushButton::clicked, this, &SettingsSidebar::quitRequested);
    trayActions_ = {about, quit};
    showTrayActions(false);

    updateNotice_ = new QPushButton(this);
    updateNotice_->setObjectName(QStringLiteral("updateNotice"));
    updateNotice_->setGeometry(14, 508, 182, 26);
    updateNotice_->setFocusPolicy(Qt::TabFocus);
    updateNotice_->setFont(Brand::font(11.5, QFont::DemiBold));
    updateNotice_->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; color: red; }"));
    updateNotice_->hide();
    connect(updateNotice_, &QPushButton::clicked, this, &SettingsSidebar::updateCheckRequested);

    buildBadge();
    select(SettingsPage::general);
}

QPushButton* SettingsSidebar::button(int top, const QString& title)
{
    auto* b = new QPushButton(QStringLiteral("  ") + title, this);
    b->setGeometry(14, top, 182, 36);
    b->setFont(Brand::font(13, QFont::Medium));
    // Tab reaches it; a click does not take the focus (nor show the ring).
    b->setFocusPolicy(Qt::TabFocus);
    b->setAccessibleName(title);
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

void SettingsSidebar::buildBadge()
{
    badge_ = new QWidget(this);
    badge_->setObjectName(QStringLiteral("badge"));
    badge_->setStyleSheet(QStringLiteral("QWidget#badge { border-radius: 17px; background: qlineargradient("
                                         "x1:0, y1:0, x2:1, y2:0, stop:0 %1, stop:1 %2); }")
                              .arg(colour(Brand::withAlpha(Brand::orangeDeep, 0.16)),
                                   colour(Brand::withAlpha(Brand::orangeLight, 0.16))));
    badge_->resize(166, 34);
    if (auto lock = Icons::image(Icons::Name::badge_local, 14)) {
        auto* icon = new QLabel(badge_);
        icon->setPixmap(Icons::shown(*lock, Brand::orangeDeep));
        icon->setGeometry(14, 10, 14, 14);
        label(badge_, QStringLiteral("完全ローカル動作"), Brand::font(11, QFont::DemiBold), Brand::orangeDeep,
              QRect(34, 9, 130, 16));
    } else {
        label(badge_, QStringLiteral("🔒 完全ローカル動作"), Brand::font(11, QFont::DemiBold), Brand::orangeDeep,
              QRect(14, 9, 150, 16));
    }
}

void SettingsSidebar::resizeEvent(QResizeEvent*)
{
    badge_->move(22, height() - 26 - 34);
}

void SettingsSidebar::select(SettingsPage page)
{
    for (int i = 0; i < pageButtons_.size(); ++i) {
        const bool selected = i == int(page);
        setLook(pageButtons_.at(i), pageIcons[i], selected);
        if (selected) {
            highlight_->setGeometry(pageButtons_.at(i)->geometry());
            highlight_->stackUnder(pageButtons_.at(i));
        }
    }
    highlight_->show();
}

void SettingsSidebar::showTrayActions(bool on)
{
    for (QPushButton* b : trayActions_)
        b->setVisible(on);
}

void SettingsSidebar::refreshUpdateNotice()
{
    const std::optional<QString> newer = UpdateNotice::新しい版();
    updateNotice_->setVisible(newer.has_value());
    if (newer)
        updateNotice_->setText(QStringLiteral("⚠ 新しい版 v%1 → 更新する").arg(*newer));
}
