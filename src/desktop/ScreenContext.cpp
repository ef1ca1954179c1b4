#include "desktop/ScreenContext.h"

#include "desktop/AccessibilitySwitch.h"
#include "desktop/ScreenContextWalk.h"
#include "store/Config.h"
#include "store/Log.h"
#include "support/MainThread.h"

#include <QCoreApplication>
#include <QObject>
#include <QSet>
#include <QThreadPool>

#include <atomic>
#include <mutex>
#include <utility>

namespace {

// The background jobs' own threads: an application that keeps a walk waiting
// never holds up work queued elsewhere. Several captures can run at once.
QThreadPool& jobs()
{
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(4);
        return p;
    }();
    return *pool;
}

}  // namespace

// What the background jobs share with the object; a job keeps it alive until
// it has finished, even when the object has gone.
struct ScreenContext::Shared {
    explicit Shared(std::shared_ptr<AccessibleTree> t) : tree(std::move(t)), a11y(tree) {}

    const std::shared_ptr<AccessibleTree> tree;
    AccessibilitySwitch a11y;
    mutable std::mutex lock;
    QStringList currentTerms;  // guarded by `lock`
    std::atomic<int> running{0};

    void setTerms(QStringList terms)
    {
        std::lock_guard guard(lock);
        currentTerms = std::move(terms);
    }
};

ScreenContext::ScreenContext(std::shared_ptr<AccessibleTree> tree, std::shared_ptr<FrontmostApp> frontmost,
                             qint64 ownPid)
    : shared_(std::make_shared<Shared>(std::move(tree))),
      frontmost_(std::move(frontmost)),
      ownPid_(ownPid),
      guard_(std::make_unique<QObject>())
{
    // At quit there is no later turn of the event loop: put it back now.
    if (QCoreApplication::instance())
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, guard_.get(),
                         [shared = shared_] { shared->a11y.putBack(); });
}

ScreenContext::~ScreenContext()
{
    shared_->a11y.putBack();
}

void ScreenContext::prepare()
{
    std::shared_ptr<Shared> shared = shared_;
    if (!Config::shared().screenHintsOn() && shared->a11y.switchedOnByUs())
        jobs().start([shared] { shared->a11y.putBack(); });
}

void ScreenContext::putBackLeftOverSoon()
{
    MainThread::after(0, guard_.get(),
                      [shared = shared_] { jobs().start([shared] { shared->a11y.putBackLeftOver(); }); });
}

void ScreenContext::capture()
{
    if (!Config::shared().screenHintsOn()) {
        shared_->setTerms({});
        prepare();  // puts the accessibility switch back
        return;
    }
    const std::optional<FrontmostAppInfo> app = frontmost_->current();
    if (!app || app->remote || app->pid <= 0 || app->pid == ownPid_) {
        shared_->setTerms({});
        // Its process id names a process of that computer, not of this one.
        if (app && app->remote && !std::exchange(toldRemote_, true))
            Log::write(QStringLiteral("画面の文脈: 手前の窓は別のコンピュータで動くアプリのため、ヒントを読みません"));
        return;
    }

    std::shared_ptr<Shared> shared = shared_;
    const qint64 pid = app->pid;
    ++shared->running;
    jobs().start([shared, pid] {
        // Switched on at the first capture that finds it off. Many toolkits
        // decide at their start whether to publish their trees, by whether
        // the desktop's accessibility is on (Qt does): those started before
        // give hints only once started again.
        shared->a11y.switchOnIfOff();
        const QStringList terms = extractTerms(axVisibleText(*shared->tree, pid));
        shared->setTerms(terms);
        if (!terms.isEmpty())
            Log::write(QStringLiteral("画面の文脈: %1語を採用").arg(terms.size()));
        --shared->running;
    });
}

QStringList ScreenContext::currentTerms() const
{
    std::lock_guard guard(shared_->lock);
    return shared_->currentTerms;
}

int ScreenContext::capturesRunning() const
{
    return shared_->running;
}

QString ScreenContext::axVisibleText(AccessibleTree& tree, qint64 pid)
{
    // Each of the reasons below is said once for each process.
    static std::mutex toldLock;
    static QSet<qint64> told;
    const auto firstTime = [&] {
        std::lock_guard guard(toldLock);
        return !told.contains(pid) && (told.insert(pid), true);
    };
    const AccessibleTree::Window window = tree.activeWindow(pid);
    if (!window.applicationFound && firstTime())
        Log::write(
            QStringLiteral("画面の文脈: 手前のアプリがアクセシビリティに見つからないため、ヒントを読めません"
                           "（Flatpak などで隔離されたアプリや、アクセシビリティがオフのときに起動したアプリ）"));
    if (!window.element)
        return {};
    bool withheld = false;
    QString text = ScreenContextWalk::visibleText(tree, *window.element, {}, &withheld);
    // Chromium and the programs built on it publish only their window's frame
    // until they are started for assistive technology; nothing from outside
    // the running browser turns its page on.
    if (withheld && firstTime())
        Log::write(
            QStringLiteral("画面の文脈: 手前のアプリは画面の中身を公開していないため、ヒントを読めません"
                           "（Chromium系のブラウザは --force-renderer-accessibility を付けて起動すると読めます）"));
    return text;
}
