#pragma once

#include "app/Phase.h"

#include <QObject>

class HistoryStore;
class LoginItem;
class Notices;
class QAction;
class QMenu;

// The tray icon's menu, filled afresh each time it opens: the title with the
// phase, the update notice, the settings, the latest history items (choosing
// one copies it), start at login, the update check, About and Quit. The
// actions that belong to the rest of the application are signals.
class TrayMenu : public QObject {
    Q_OBJECT
public:
    TrayMenu(const HistoryStore& history, LoginItem* loginItem, Notices& notices);

    // Rebuilds `menu` for the dictation in `phase`.
    void fill(QMenu* menu, Phase phase);
    void copyHistoryItem(QAction* item);
    void toggleLoginItem();

Q_SIGNALS:
    void updateCheckRequested();
    void settingsRequested();
    void aboutRequested();
    void quitRequested();

private:
    const HistoryStore& history_;
    LoginItem* loginItem_;
    Notices& notices_;
};
