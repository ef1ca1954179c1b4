#include "ScreenWindow.h"

#include <QElapsedTimer>
#include <QThread>

#include <csignal>

ScreenWindow::ScreenWindow(QStringList arguments) : arguments_(std::move(arguments)) {}

ScreenWindow::~ScreenWindow()
{
    close();
}

QString ScreenWindow::program()
{
    return QStringLiteral(SAYRI_SCREEN_WINDOW);
}

bool ScreenWindow::isActive(const QString& windowId)
{
    QProcess active;
    active.start(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")});
    return active.waitForFinished(2000)
           && active.readAllStandardOutput().trimmed().toULongLong() == windowId.toULongLong(nullptr, 16);
}

bool ScreenWindow::start(int timeoutMs)
{
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(program(), arguments_);
    QElapsedTimer timer;
    timer.start();
    while (!process_.canReadLine() && process_.waitForReadyRead(int(qMax<qint64>(1, timeoutMs - timer.elapsed())))) {}
    const QByteArray line = process_.readLine().trimmed();
    if (!line.startsWith("ready "))
        return false;
    windowId_ = QString::fromLatin1(line.mid(6));
    // Qt sees the focus a moment before the window manager names the window
    // active. On a busy machine the window manager may map the window without
    // focusing it: ask it once, as a user clicking the window would.
    return waitUntilActive(150) || activate() || waitUntilActive(1000);
}

bool ScreenWindow::activate()
{
    QProcess::execute(QStringLiteral("timeout"),
                      {QStringLiteral("5"), QStringLiteral("xdotool"), QStringLiteral("windowactivate"),
                       QStringLiteral("--sync"), windowId_});
    return waitUntilActive(300);
}

bool ScreenWindow::waitUntilActive(int tries) const
{
    for (int i = 0; i < tries; ++i) {
        if (isActive(windowId_))
            return true;
        QThread::msleep(10);
    }
    return false;
}

void ScreenWindow::stop()
{
    if (pid() > 0)  // never 0: that would be the test's own process group
        ::kill(pid_t(pid()), SIGSTOP);
}

void ScreenWindow::resume()
{
    if (pid() > 0)
        ::kill(pid_t(pid()), SIGCONT);
}

void ScreenWindow::close()
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

qint64 ScreenWindow::pid() const
{
    return process_.processId();
}
