#include "ui/SettingsWindow.h"

#include "support/MainThread.h"
#include "ui/MainMenu.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

SettingsWindow& SettingsWindow::shared()
{
    static SettingsWindow* instance = new SettingsWindow;
    return *instance;
}

void SettingsWindow::show()
{
    MainThread::async(this, [this] { showNow(); });
}

void SettingsWindow::show(const QString& page)
{
    static const QStringList known{QStringLiteral("dictionary"), QStringLiteral("history"), QStringLiteral("about")};
    page_ = known.contains(page) ? page : QStringLiteral("general");
    show();
}

void SettingsWindow::showNow()
{
    if (!window_) {
        window_ = new QWidget;
        window_->setWindowTitle(QStringLiteral("サイリ"));
        window_->setObjectName(QStringLiteral("settingsWindow"));
        window_->resize(720, 480);
        auto* layout = new QVBoxLayout(window_);
        pageLabel_ = new QLabel;
        pageLabel_->setAlignment(Qt::AlignCenter);
        layout->addWidget(pageLabel_);
        MainMenu::attachTo(window_);
    }
    static const QHash<QString, QString> titles{
        {QStringLiteral("general"), QStringLiteral("一般")},
        {QStringLiteral("dictionary"), QStringLiteral("じぶん辞書")},
        {QStringLiteral("history"), QStringLiteral("履歴")},
        {QStringLiteral("about"), QStringLiteral("このアプリについて")},
    };
    pageLabel_->setText(titles.value(page_));
    window_->show();
    window_->raise();
    window_->activateWindow();
}
