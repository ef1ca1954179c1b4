#pragma once

#include "app/AppState.h"

#include <QObject>
#include <QStringList>

#include <memory>

// Brings Sayri up in order and takes it down: settings, controller, marker
// and page requests, the first window.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(QStringList arguments);
    ~AppDelegate() override;

    void applicationDidFinishLaunching(AppServices services);
    void applicationWillTerminate();
    // Another launch while this one runs: show the settings window.
    bool applicationShouldHandleReopen();

    AppState* appState() const { return appState_.get(); }

private:
    bool launchedAsLoginItem() const;
    void handlePageRequest(const QString& page);

    QStringList arguments_;
    std::unique_ptr<AppState> appState_;
};
