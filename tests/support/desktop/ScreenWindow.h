#pragma once

#include "DesktopProbe.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>

#include <csignal>

// A window of another application, for tests inside scripts/desktop-session:
// runs sayri-screen-window (tests/support/screen-window) with a kind and its
// arguments, e.g. ScreenWindow({"list", "100000"}).
//
//   ScreenWindow window({"terms"});
//   QVERIFY(window.start());   // waits until its window is the active one
//
// The process is ended by its own PID when the object goes (a stopped one is
// continued first).
class ScreenWindow {
public:
    explicit ScreenWindow(QStringList arguments) : arguments_(std::move(arguments)) {}
    ~ScreenWindow() { close(); }
    ScreenWindow(const ScreenWindow&) = delete;
    ScreenWindow& operator=(const ScreenWindow&) = delete;

    bool start(int timeoutMs = 20000)
    {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(SAYRI_SCREEN_WINDOW), arguments_);
        for (QDeadlineTimer limit(timeoutMs); !process_.canReadLine() && !limit.hasExpired();)
            process_.waitForReadyRead(int(qMax<qint64>(1, limit.remainingTime())));
        const QByteArray line = process_.readLine().trimmed();
        if (!line.startsWith("ready "))
            return false;
        windowId_ = QString::fromLatin1(line.mid(6));
        // On Wayland Qt's focus is the compositor's keyboard focus itself.
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            return true;
        // Qt sees the focus a moment before the window manager names the window
        // active. On a busy machine the window manager may map the window without
        // focusing it: ask it once, as a user clicking the window would.
        return waitUntilActive(150) || activate() || waitUntilActive(1000);
    }
    // Gives it the focus again and waits until it is active.
    bool activate()
    {
        DesktopProbe::run(QStringLiteral("timeout 5 xdotool windowactivate --sync ") + windowId_);
        return waitUntilActive(300);
    }
    void close()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        resume();  // a stopped process ends only once continued
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
    // Stops and continues the process (SIGSTOP / SIGCONT): a hanging application.
    // Never with PID 0: that would be the test's own process group.
    void stop()
    {
        if (pid() > 0)
            ::kill(pid_t(pid()), SIGSTOP);
    }
    void resume()
    {
        if (pid() > 0)
            ::kill(pid_t(pid()), SIGCONT);
    }

    qint64 pid() const { return process_.processId(); }
    QString windowId() const { return windowId_; }

    // Whether the window manager names this window the active one.
    static bool isActive(const QString& windowId)
    {
        return DesktopProbe::run(QStringLiteral("xdotool getactivewindow")).value_or(QString()).toULongLong()
               == windowId.toULongLong(nullptr, 16);
    }

protected:
    QStringList arguments_;

private:
    bool waitUntilActive(int tries) const  // 10 ms each
    {
        for (int i = 0; i < tries; ++i) {
            if (isActive(windowId_))
                return true;
            QThread::msleep(10);
        }
        return false;
    }

    QProcess process_;
    QString windowId_;
};
