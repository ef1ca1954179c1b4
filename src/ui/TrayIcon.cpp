#include "ui/TrayIcon.h"

#include "ui/Icons.h"

#include <QMenu>
#include <QSystemTrayIcon>

TrayIcon::TrayIcon() : tray_(new QSystemTrayIcon(this)), menu_(new QMenu)
{
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
    return tray_->isVisible();
}
