#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <functional>

class AudioInputs;
class LoginItem;

// The settings window as the controller sees it.
class SettingsView : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void show() = 0;
    virtual void show(const QString& page) = 0;
    virtual void refreshUpdateNotice() = 0;
    // Where the desktop shows no tray icon, the window offers what its menu
    // holds beyond the settings: the about window and quitting.
    virtual void offerTrayActions(bool on) { (void)on; }
    // "dictionary.txt" was written and applied by an action of the controller.
    virtual void dictionaryWritten() = 0;

    // The latest history items, newest first, for the history page.
    std::function<QList<QPair<QDateTime, QString>>()> historyProvider;
    // Whether the last CSV import can still be taken back.
    std::function<bool()> importUndoable;
    // The platform's login item and audio inputs for the general page,
    // installed by the controller that owns them (none: not shown as on).
    LoginItem* loginItem = nullptr;
    AudioInputs* audioInputs = nullptr;

Q_SIGNALS:
    void triggerKeyChosen(const QString& id);
    void micChosen(const QString& uid);
    void addWordRequested();
    void importCSVRequested();
    void copyPromptRequested();
    void dictionaryReloadRequested();
    void undoImportRequested();
    void updateCheckRequested();
    void aboutRequested();
    void quitRequested();
    // The screen-hint switch changed `screenHintEnabled` (already saved).
    void screenHintChanged();
};
