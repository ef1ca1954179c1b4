#pragma once

#include "app/AppState.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>

// Brings Sayri up in order and takes it down: settings, controller, marker
// and page requests, the first window.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(QStringList arguments);
    ~AppDelegate() override;

    void applicationDidFinishLaunching(AppServices services);
    void applicationWillTerminate();
    // Another launch while this one runs: show the settings window (on the
    // page a ".openpage" request names, if one is waiting).
    bool applicationShouldHandleReopen();

    AppState* appState() const { return appState_.get(); }

    // The page a one-shot ".openpage" request in the data folder asks for,
    // trimmed; the request is removed. None without a request, or when
    // ".openpage" is not a plain file.
    static std::optional<QString> takePageRequest();

private:
    bool launchedAsLoginItem() const;
    void handlePageRequest(const QString& page);

    QStringList arguments_;
    std::unique_ptr<AppState> appState_;
};
