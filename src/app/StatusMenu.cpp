// The tray menu of AppState, rebuilt each time it opens, and its own actions.
#include "app/AppState.h"

#include "BuildSettings.h"
#include "provision/UpdateNotice.h"
#include "support/Graphemes.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

namespace {

constexpr int historyItemsShown = 10;
constexpr int longestHistoryTitle = 38;  // characters
const char* const alertProperty = "sayriAlert";

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

// Draws the titles of the menu's alert items (the update notice) in red.
class AlertMenuStyle : public QProxyStyle {
public:
    static const QColor red;

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        const auto* menu = qobject_cast<const QMenu*>(widget);
        if (element == CE_MenuItem && item && menu && !(item->state & State_Selected)) {
            const QAction* action = menu->actionAt(item->rect.center());
            if (action && action->property(alertProperty).toBool()) {
                QStyleOptionMenuItem alert(*item);
                for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
                    alert.palette.setColor(role, red);
                QProxyStyle::drawControl(element, &alert, painter, widget);
                return;
            }
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

const QColor AlertMenuStyle::red{255, 59, 48};

}  // namespace

void AppState::menuNeedsUpdate(QMenu* menu)
{
    menu->clear();
    if (!dynamic_cast<AlertMenuStyle*>(menu->style())) {
        auto* style = new AlertMenuStyle;
        style->setParent(menu);
        menu->setStyle(style);
    }

    menu->addAction(QStringLiteral("サイリ %1 — %2").arg(QStringLiteral(SAYRI_VERSION), menuPhaseLabel(phase())))
        ->setEnabled(false);
    if (const auto newer = UpdateNotice::新しい版()) {
        QAction* update = menu->addAction(QStringLiteral("新しい版 %1 に更新できます").arg(*newer));
        update->setProperty(alertProperty, true);
        connect(update, &QAction::triggered, this, &AppState::checkForUpdates);
    }
    QAction* settings = menu->addAction(QStringLiteral("設定を開く…"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(settings, &QAction::triggered, this, &AppState::openSettings);
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
    login->setChecked(s_.loginItem && s_.loginItem->isEnabled());
    connect(login, &QAction::triggered, this, &AppState::toggleLoginItem);
    connect(menu->addAction(QStringLiteral("アップデートを確認…")), &QAction::triggered, this, &AppState::checkForUpdates);
    connect(menu->addAction(QStringLiteral("サイリについて")), &QAction::triggered, this, &AppState::openAbout);
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("サイリを終了")), &QAction::triggered, this, &AppState::quitApp);
}

void AppState::copyHistoryItem(QAction* item)
{
    if (!item || item->data().typeId() != QMetaType::QString)
        return;
    QGuiApplication::clipboard()->setText(item->data().toString(), QClipboard::Clipboard);
    flash(QStringLiteral("コピーしました（Command+V で貼り付け）"), 2);
}

void AppState::toggleLoginItem()
{
    LoginItem* login = s_.loginItem.get();
    if (!login)
        return;
    const bool enable = !login->isEnabled();
    QString error;
    if (!login->setEnabled(enable, error)) {
        flash(QStringLiteral("自動起動の設定に失敗: ") + error, 3);
        return;
    }
    flash(enable ? QStringLiteral("自動起動: オン") : QStringLiteral("自動起動: オフ"), 1.5);
}
