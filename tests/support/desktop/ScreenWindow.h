#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// A window of another application, for tests inside scripts/desktop-session:
// runs sayri-screen-window (tests/support/screen-window) with a kind and its
// arguments, e.g. ScreenWindow({"labels", "1600"}).
//
//   ScreenWindow window({"terms"});
//   QVERIFY(window.start());   // waits until its window is the active one
//
// The process is ended by its own PID when the object goes (a stopped one is
// continued first).
class ScreenWindow {
public:
    explicit ScreenWindow(QStringList arguments);
    ~ScreenWindow();
    ScreenWindow(const ScreenWindow&) = delete;
    ScreenWindow& operator=(const ScreenWindow&) = delete;

    bool start(int timeoutMs = 20000);
    bool activate();  // gives it the focus again and waits until it is active
    void close();
    // Stops and continues the process (SIGSTOP / SIGCONT): a hanging application.
    void stop();
    void resume();

    qint64 pid() const;
    QString windowId() const { return windowId_; }

    static QString program();
    // Whether the window manager names this window the active one.
    static bool isActive(const QString& windowId);

protected:
    QStringList arguments_;

private:
    bool waitUntilActive(int tries) const;  // 10 ms each

    QProcess process_;
    QString windowId_;
};
