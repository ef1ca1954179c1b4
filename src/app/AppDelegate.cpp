#include "app/AppDelegate.h"

#include "provision/ModelSetup.h"
#include "store/Config.h"
#include "store/Log.h"
#include "support/MainThread.h"

#include <QFile>
#include <QFileInfo>

namespace {
constexpr qint64 maxPageRequest = 4096;
}

AppDelegate::AppDelegate(QStringList arguments) : arguments_(std::move(arguments)) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching(AppServices services)
{
    // The light look is set by main() before any window exists (Fusion, light palette).
    Config::bootstrap();
    ModelSetup::removeLeftoverPartials();

    FirstRun* firstRun = services.firstRun.get();
    appState_ = std::make_unique<AppState>(std::move(services));
    appState_->startUp();

    QFile launched(Config::file(QStringLiteral(".launched")));
    if (launched.open(QIODevice::WriteOnly | QIODevice::Truncate))
        launched.close();

    const std::optional<QString> page = takePageRequest();
    if (!page) {
        if (!launchedAsLoginItem() && !firstRun->必要()) {
            AppState* state = appState_.get();
            MainThread::after(0.5, state, [state] { state->openSettings(); });
        }
        return;
    }
    MainThread::after(0.4, this, [this, page = *page] { handlePageRequest(page); });
}

std::optional<QString> AppDelegate::takePageRequest()
{
    // Only a plain file: opening a pipe put there would wait for a writer,
    // and the launch with it. A page name is short; more is not read.
    const QString path = Config::file(QStringLiteral(".openpage"));
    QFile request(path);
    if (!QFileInfo(path).isFile() || !request.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString page = QString::fromUtf8(request.read(maxPageRequest)).trimmed();
    request.close();
    request.remove();
    return page;
}

void AppDelegate::handlePageRequest(const QString& page)
{
    AppServices& s = appState_->services();
    if (page == QStringLiteral("credits")) {
        if (s.about)
            s.about->bringToFront();
    } else if (page == QStringLiteral("contextprobe")) {
        ScreenTerms* screen = s.screen.get();
        MainThread::after(1.5, appState_.get(), [screen] { screen->capture(); });
    } else if (s.settings) {
        s.settings->show(page);
    }
}

void AppDelegate::applicationWillTerminate()
{
    if (appState_)
        appState_->shutDown();
}

bool AppDelegate::applicationShouldHandleReopen()
{
    if (!appState_)
        return true;
    // A second launch may name a page through the same one-shot request file.
    if (const std::optional<QString> page = takePageRequest())
        handlePageRequest(*page);
    else
        appState_->openSettings();
    return true;
}

bool AppDelegate::launchedAsLoginItem() const
{
    // The autostart entry starts Sayri with this argument.
    return arguments_.contains(QStringLiteral("--login-item"));
}
