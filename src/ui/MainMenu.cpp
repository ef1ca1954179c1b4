#include "ui/MainMenu.h"

#include <QAction>
#include <QApplication>
#include <QWidget>

namespace MainMenu {

namespace {

Handlers& current()
{
    static Handlers handlers;
    return handlers;
}

void add(QWidget* window, const QString& title, const QKeySequence& key, std::function<void()> run)
{
    auto* action = new QAction(title, window);
    action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(action, &QAction::triggered, window, [run = std::move(run)] { if (run) run(); });
    window->addAction(action);
}

}  // namespace

void install(Handlers handlers)
{
    current() = std::move(handlers);
}

void attachTo(QWidget* window)
{
    if (window->property("sayriMainMenu").toBool())
        return;
    window->setProperty("sayriMainMenu", true);
    add(window, QStringLiteral("サイリ について"), {}, [] { if (current().openAbout) current().openAbout(); });
    add(window, QStringLiteral("アップデートを確認…"), {}, [] { if (current().checkForUpdates) current().checkForUpdates(); });
    add(window, QStringLiteral("設定…"), QKeySequence(Qt::CTRL | Qt::Key_Comma), [] { if (current().openSettings) current().openSettings(); });
    add(window, QStringLiteral("サイリ を隠す"), QKeySequence(Qt::CTRL | Qt::Key_H), [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isWindow() && w->isVisible() && !(w->windowFlags() & Qt::WindowDoesNotAcceptFocus))
                w->hide();
    });
    add(window, QStringLiteral("サイリ を終了"), QKeySequence(Qt::CTRL | Qt::Key_Q), [] { if (current().quitApp) current().quitApp(); });
    add(window, QStringLiteral("しまう"), QKeySequence(Qt::CTRL | Qt::Key_M), [window] { window->showMinimized(); });
    add(window, QStringLiteral("閉じる"), QKeySequence(Qt::CTRL | Qt::Key_W), [window] { window->close(); });
}

}  // namespace MainMenu
