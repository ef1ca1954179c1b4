#include "ui/MainMenu.h"

#include <QAction>
#include <QApplication>
#include <QWidget>

namespace {

QAction* add(QWidget* window, const QString& title, const QKeySequence& key)
{
    auto* action = new QAction(title, window);
    action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    window->addAction(action);
    return action;
}

}  // namespace

MainMenu& MainMenu::shared()
{
    static MainMenu* instance = new MainMenu;
    return *instance;
}

void MainMenu::attachTo(QWidget* window)
{
    if (window->property("sayriMainMenu").toBool())
        return;
    window->setProperty("sayriMainMenu", true);
    MainMenu* menu = &shared();
    connect(add(window, QStringLiteral("サイリ について"), {}), &QAction::triggered, menu, &MainMenu::aboutRequested);
    connect(add(window, QStringLiteral("アップデートを確認…"), {}), &QAction::triggered, menu,
            &MainMenu::updateCheckRequested);
    connect(add(window, QStringLiteral("設定…"), QKeySequence(Qt::CTRL | Qt::Key_Comma)), &QAction::triggered, menu,
            &MainMenu::settingsRequested);
    connect(add(window, QStringLiteral("サイリ を隠す"), QKeySequence(Qt::CTRL | Qt::Key_H)), &QAction::triggered,
            window, [] {
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (w->isWindow() && w->isVisible() && !(w->windowFlags() & Qt::WindowDoesNotAcceptFocus))
                        w->hide();
            });
    connect(add(window, QStringLiteral("サイリ を終了"), QKeySequence(Qt::CTRL | Qt::Key_Q)), &QAction::triggered, menu,
            &MainMenu::quitRequested);
    connect(add(window, QStringLiteral("しまう"), QKeySequence(Qt::CTRL | Qt::Key_M)), &QAction::triggered, window,
            &QWidget::showMinimized);
    connect(add(window, QStringLiteral("閉じる"), QKeySequence(Qt::CTRL | Qt::Key_W)), &QAction::triggered, window,
            &QWidget::close);
}
