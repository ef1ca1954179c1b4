#pragma once

#include "platform/TrayHost.h"
#include "ui/StatusIcon.h"

#include <QHash>
#include <QIcon>

#include <memory>

class QMenu;
class QSystemTrayIcon;

// The status item: a tray icon whose menu is filled afresh each time it opens.
// With a tray host that tells when a tray exists, the icon is made only once
// one does (Qt decides once per run whether a tray can be had); until then
// the log says once that there is none, and the settings window offers what
// the menu holds.
class TrayIcon : public StatusIcon {
    Q_OBJECT
public:
    explicit TrayIcon(std::unique_ptr<TrayHost> host = {});
    ~TrayIcon() override;
    void setIcon(const QString& symbol) override;
    bool isVisible() const;

private:
    void makeIcon();
    void sayNone();  // the log line, and the settings window told

    std::unique_ptr<TrayHost> host_;
    QSystemTrayIcon* tray_ = nullptr;
    bool saidNone_ = false;
    QMenu* menu_;
    QString symbol_ = QStringLiteral("🎙️");
    // One icon per image for the whole run: a fresh icon at every change would
    // leave its drawings in the pixmap cache, a little more at each dictation.
    QHash<QString, QIcon> icons_;
};
