#pragma once

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>

// The settings window as the controller sees it.
class SettingsView {
public:
    virtual ~SettingsView() = default;
    virtual void show() = 0;
    virtual void show(const QString& page) = 0;
    virtual void refreshUpdateNotice() = 0;

    std::function<void(const QString&)> onTriggerKeyChange;
    std::function<void(const QString&)> onMicChange;
    std::function<void()> onAddWord;
    std::function<void()> onImportCSV;
    std::function<void()> onCopyPrompt;
    std::function<void()> onDictionaryReload;
    std::function<void()> onNeedsMenuRefresh;
    std::function<void()> onCheckUpdates;
    std::function<QList<QPair<QDateTime, QString>>()> historyProvider;
};
