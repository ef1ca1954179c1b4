#include "support/MainThread.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

namespace MainThread {

void async(QObject* guard, std::function<void()> work)
{
    QPointer<QObject> weak(guard);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [weak, guarded = guard != nullptr, work = std::move(work)] {
            if (guarded && !weak)
                return;
            work();
        },
        Qt::QueuedConnection);
}

void after(double seconds, QObject* guard, std::function<void()> work)
{
    QPointer<QObject> weak(guard);
    const int ms = qMax(0, int(seconds * 1000.0 + 0.5));
    async(nullptr, [weak, guarded = guard != nullptr, ms, work = std::move(work)] {
        if (guarded && !weak)
            return;
        QTimer::singleShot(ms, Qt::PreciseTimer, guarded ? weak.data() : QCoreApplication::instance(), work);
    });
}

bool isCurrent()
{
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

}  // namespace MainThread
