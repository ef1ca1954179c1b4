#include "ui/TrayIcon.h"

#include "platform/TrayHost.h"
#include "store/Log.h"
#include "support/MainThread.h"
#include "ui/Icons.h"

#include <QMenu>
#include <QSystemTrayIcon>

TrayIcon::TrayIcon(std::unique_ptr<TrayHost> host) : host_(std::move(host)), menu_(new QMenu)
{
    if (!host_ || (host_->answered() && host_->available())) {
        makeIcon();
        return;
    }
    host_->onAvailable = [this] {
        if (tray_)
            return;
        if (saidNone_)
            Log::write(QStringLiteral("トレイが現れたので、アイコンを出します"));
        makeIcon();
        setIcon(symbol_);
        Q_EMIT availabilityChanged(true);
    };
    if (host_->answered()) {
        sayNone();
        return;
    }
    host_->onAnswered = [this](bool available) {
        if (!available)
            sayNone();
    };
}

void TrayIcon::sayNone()
{
    saidNone_ = true;
    Log::write(
        QStringLiteral("このデスクトップにはトレイ（通知領域）がないため、アイコンは出ません。メニューの項目は設定"
                       "画面にあります（サイリの終了も）"));
    MainThread::async(this, [this] { Q_EMIT availabilityChanged(false); });
}

void TrayIcon::makeIcon()
{
    tray_ = new QSystemTrayIcon(this);
    tray_->setToolTip(QStringLiteral("サイリ"));
    tray_->setContextMenu(menu_);
    connect(menu_, &QMenu::aboutToShow, this, [this] { Q_EMIT menuAboutToShow(menu_); });
    // A left click opens the same menu, as a status item does.
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            menu_->popup(QCursor::pos());
    });
}

TrayIcon::~TrayIcon()
{
    delete menu_;
}

void TrayIcon::setIcon(const QString& symbol)
{
    symbol_ = symbol;
    if (!tray_)
        return;
    QString image = QStringLiteral("menubar_idle");
    if (symbol == QStringLiteral("🔴"))
        image = QStringLiteral("menubar_recording");
    else if (symbol == QStringLiteral("⏳"))
        image = QStringLiteral("menubar_working");

    auto icon = icons_.find(image);
    if (icon == icons_.end()) {
        QIcon made = Icons::tray(image);
        // A tray icon has no title: without an image the symbol itself is drawn.
        if (made.isNull())
            made = Icons::fromSymbol(symbol);
        icon = icons_.insert(image, made);
    }
    tray_->setIcon(*icon);
    tray_->show();
}

bool TrayIcon::isVisible() const
{
    return tray_ && tray_->isVisible();
}
