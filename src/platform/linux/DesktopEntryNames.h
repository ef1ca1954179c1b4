#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <mutex>

// Readable application names from the installed desktop entries
// (applications/*.desktop in the XDG data folders): the Name= of the entry
// whose StartupWMClass, or else whose file name, matches a window's class.
// The localized Name[ll_CC] or Name[ll] of the user's locale is preferred.
// The folders are read once and again only when one of them changes.
// Safe from any thread.
class DesktopEntryNames {
public:
    explicit DesktopEntryNames(QStringList folders = {});  // empty: the XDG application folders

    // The name for a window whose class hint is (windowClass, windowInstance);
    // empty when no entry matches.
    QString nameFor(const QString& windowClass, const QString& windowInstance);

private:
    void refreshIfChanged();
    void readEntry(const QString& path);

    QStringList folders_;
    std::mutex lock_;
    QHash<QString, QDateTime> folderTimes_;
    QHash<QString, QString> byWmClass_;   // lower-case StartupWMClass -> name
    QHash<QString, QString> byFileName_;  // lower-case file name without ".desktop" -> name
    bool read_ = false;
};
