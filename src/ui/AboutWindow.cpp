#include "ui/AboutWindow.h"

#include "ui/MainMenu.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

AboutWindow& AboutWindow::shared()
{
    static AboutWindow* instance = new AboutWindow;
    return *instance;
}

void AboutWindow::buildIfNeeded()
{
    if (window_)
        return;
    window_ = new QWidget;
    window_->setObjectName(QStringLiteral("aboutWindow"));
    window_->setWindowTitle(QStringLiteral("サイリ について"));
    auto* layout = new QVBoxLayout(window_);
    auto* label = new QLabel(QStringLiteral("サイリ %1").arg(QStringLiteral(SAYRI_VERSION)));
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
    window_->resize(360, 200);
    MainMenu::attachTo(window_);
}

void AboutWindow::show()
{
    buildIfNeeded();
    window_->show();
    window_->raise();
}

void AboutWindow::bringToFront()
{
    show();
    window_->activateWindow();
}
