#include "ui/TrayMenu.h"

#include "BuildSettings.h"
#include "platform/LoginItem.h"
#include "platform/PlatformWords.h"
#include "provision/UpdateNotice.h"
#include "store/HistoryStore.h"
#include "support/Graphemes.h"
#include "ui/AlertMenuStyle.h"
#include "ui/Notices.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>

namespace {

constexpr int historyItemsShown = 10;
constexpr int longestHistoryTitle = 38;  // characters

// A menu title shows "&" as a shortcut marker and the text after a tab as a
// key hint; both must show as written.
QString literalMenuText(QString text)
{
    text.replace(u'\t', u' ');
    text.replace(u'&', QStringLiteral("&&"));
    return text;
}

QString historyTitle(const QString& text)
{
    QString oneLine = text;
    oneLine.replace(u'\n', u' ');
    if (Graphemes::count(oneLine) > longestHistoryTitle)
        oneLine = Graphemes::left(oneLine, longestHistoryTitle) + QStringLiteral("…");
    return literalMenuText(oneLine);
}

}  // namespace

TrayMenu::TrayMenu(const HistoryStore& history, LoginItem* loginItem, Notices& notices)
    : history_(history), loginItem_(loginItem), notices_(notices)
{
}

void TrayMenu::fill(QMenu* menu, Phase phase)
{
    menu->clear();
    AlertMenuStyle::applyTo(menu);

    menu->addAction(QStringLiteral("サイリ %1 — %2").arg(QStringLiteral(SAYRI_VERSION), menuLabel(phase)))
        ->setEnabled(false);
    if (const auto newer = UpdateNotice::新しい版()) {
        QAction* update = menu->addAction(QStringLiteral("新しい版 %1 に更新できます").arg(*newer));
        AlertMenuStyle::markAlert(update);
        connect(update, &QAction::triggered, this, &TrayMenu::updateCheckRequested);
    }
    QAction* settings = menu->addAction(QStringLiteral("設定を開く…"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(settings, &QAction::triggered, this, &TrayMenu::settingsRequested);
    menu->addSeparator();

    menu->addAction(QStringLiteral("履歴（押すとコピー）"))->setEnabled(false);
    const QList<HistoryEntry>& entries = history_.entries();
    if (entries.isEmpty()) {
        menu->addAction(QStringLiteral("（まだありません）"))->setEnabled(false);
    } else {
        for (const HistoryEntry& e : entries.mid(0, historyItemsShown)) {
            QAction* item = menu->addAction(historyTitle(e.text));
            item->setData(e.text);
            connect(item, &QAction::triggered, this, [this, item] { copyHistoryItem(item); });
        }
    }
    menu->addSeparator();

    QAction* login = menu->addAction(QStringLiteral("ログイン時に自動起動"));
    login->setCheckable(true);
    login->setChecked(loginItem_ && loginItem_->isEnabled());
    connect(login, &QAction::triggered, this, &TrayMenu::toggleLoginItem);
    connect(menu->addAction(QStringLiteral("アップデートを確認…")), &QAction::triggered, this,
            &TrayMenu::updateCheckRequested);
    connect(menu->addAction(QStringLiteral("サイリについて")), &QAction::triggered, this, &TrayMenu::aboutRequested);
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("サイリを終了")), &QAction::triggered, this, &TrayMenu::quitRequested);
}

void TrayMenu::copyHistoryItem(QAction* item)
{
    if (!item || item->data().typeId() != QMetaType::QString)
        return;
    QGuiApplication::clipboard()->setText(item->data().toString(), QClipboard::Clipboard);
    notices_.flash(QStringLiteral("コピーしました（%1 で貼り付け）").arg(PlatformWords::pasteKeystroke()), 2);
}

void TrayMenu::toggleLoginItem()
{
    if (!loginItem_)
        return;
    const bool enable = !loginItem_->isEnabled();
    QString error;
    if (!loginItem_->setEnabled(enable, error)) {
        notices_.flash(QStringLiteral("自動起動の設定に失敗: ") + error, 3);
        return;
    }
    notices_.flash(enable ? QStringLiteral("自動起動: オン") : QStringLiteral("自動起動: オフ"), 1.5);
}
