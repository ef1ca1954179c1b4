// The tray menu of AppState, rebuilt each time it opens.
#include "app/AppState.h"

#include "provision/UpdateNotice.h"
#include "support/Graphemes.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>

namespace {

QString menuPhaseLabel(Phase phase)
{
    switch (phase) {
    case Phase::idle:
        return QStringLiteral("待機中");
    case Phase::recording:
        return QStringLiteral("録音中");
    case Phase::processing:
        return QStringLiteral("処理中");
    }
    return {};
}

QString historyTitle(const QString& text)
{
    QString oneLine = text;
    oneLine.replace(u'\n', u' ');
    if (Graphemes::count(oneLine) > 38)
        return Graphemes::left(oneLine, 38) + QStringLiteral("…");
    return oneLine;
}

}  // namespace

void AppState::menuNeedsUpdate(QMenu* menu)
{
    menu->clear();
    menu->addAction(QStringLiteral("サイリ %1 — %2").arg(QStringLiteral(SAYRI_VERSION), menuPhaseLabel(phase())))->setEnabled(false);
    if (const auto newer = UpdateNotice::新しい版())
        connect(menu->addAction(QStringLiteral("新しい版 %1 に更新できます").arg(*newer)), &QAction::triggered,
                this, &AppState::checkForUpdates);
    QAction* settings = menu->addAction(QStringLiteral("設定を開く…"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(settings, &QAction::triggered, this, &AppState::openSettings);
    menu->addSeparator();
    menu->addAction(QStringLiteral("履歴（押すとコピー）"))->setEnabled(false);
    if (history_.entries().isEmpty()) {
        menu->addAction(QStringLiteral("（まだありません）"))->setEnabled(false);
    } else {
        for (const HistoryEntry& e : history_.entries().mid(0, 10)) {
            QAction* item = menu->addAction(historyTitle(e.text));
            connect(item, &QAction::triggered, this, [this, text = e.text] {
                QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
                flash(QStringLiteral("コピーしました（Command+V で貼り付け）"), 2);
            });
        }
    }
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("アップデートを確認…")), &QAction::triggered, this, &AppState::checkForUpdates);
    connect(menu->addAction(QStringLiteral("サイリについて")), &QAction::triggered, this, &AppState::openAbout);
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("サイリを終了")), &QAction::triggered, this, &AppState::quitApp);
}
