#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <mutex>
#include <optional>

// What an application says about itself in its installed desktop entry
// (applications/*.desktop in the XDG data folders), found for a window by its
// class hint: the entry whose StartupWMClass, or else whose file name, or else
// whose Exec program matches either part of the class hint. Its readable name
// is the localized Name[ll_CC] or Name[ll] of the user's locale, else Name=.
// The folders are read once and again only when one of them changes.
// Safe from any thread.
class DesktopEntryNames {
public:
    struct Entry {
        QString name;
        QStringList categories;  // Categories=, e.g. {"System", "TerminalEmulator"}
    };

    // folders empty: the XDG application folders; locale empty: the user's (e.g. "ja_JP").
    explicit DesktopEntryNames(QStringList folders = {}, QString locale = {});

    // The entry for a window whose class hint is (windowClass, windowInstance);
    // none when no entry matches.
    std::optional<Entry> entryFor(const QString& windowClass, const QString& windowInstance);
    // Its name; empty when no entry matches.
    QString nameFor(const QString& windowClass, const QString& windowInstance);

private:
    void refreshIfChanged();
    void readEntry(const QString& path);

    QStringList folders_;
    QString locale_;
    std::mutex lock_;
    QHash<QString, QDateTime> folderTimes_;
    QHash<QString, Entry> byWmClass_;   // lower-case StartupWMClass
    QHash<QString, Entry> byFileName_;  // lower-case file name without ".desktop"
    QHash<QString, Entry> byProgram_;   // lower-case file name of the Exec program
    bool read_ = false;
};
