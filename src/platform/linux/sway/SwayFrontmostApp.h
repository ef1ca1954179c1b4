#pragma once

#include "platform/FrontmostApp.h"
#include "platform/linux/system/DesktopEntryNames.h"

#include <QJsonObject>

// The focused window on sway, from the tree sway reports on its command
// socket: a native window's app_id (an X11 window's class hint), its process
// and, through the installed desktop entry, its readable name and
// categories. Safe from any thread: each question has a connection of its own.
class SwayFrontmostApp : public FrontmostApp {
public:
    explicit SwayFrontmostApp(QString socketPath, QStringList applicationFolders = {});

    std::optional<FrontmostAppInfo> current() override;

    // The focused window in a tree as sway reports it; none when the focus is
    // on no window (an empty workspace).
    static std::optional<QJsonObject> focusedWindow(const QJsonObject& tree);

private:
    QString path_;
    DesktopEntryNames names_;
};
