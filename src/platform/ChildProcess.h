#pragma once

#include <QString>

#include <memory>
#include <optional>

// A program Sayri runs beside itself (the recognition server). Its standard
// output and error go to one open file; environment and working directory are
// Sayri's own. It ends when Sayri dies, and it is reaped as soon as it exits,
// without any event loop. Safe to use from any thread.
class ChildProcess {
public:
    // Releasing the handle leaves the program running.
    virtual ~ChildProcess() = default;

    virtual qint64 pid() const = 0;
    virtual bool running() const = 0;
    // Sends the polite termination request (SIGTERM) once per call; nothing
    // once the program has exited, so a recycled process id is never hit. A
    // suspended program is let go on, so that it can end.
    virtual void terminate() = 0;
    // Holds the program still (SIGSTOP), taking no processor time, until
    // `resume` (SIGCONT); nothing once it has exited.
    virtual void suspend() = 0;
    virtual void resume() = 0;
    // Blocks until the program has exited or `seconds` have passed; true when
    // it has exited.
    virtual bool waitForExit(double seconds) = 0;
    // The exit code, or 128 + the signal number when a signal ended it;
    // nothing while it runs.
    virtual std::optional<int> exitStatus() const = 0;

    struct Launch {
        std::shared_ptr<ChildProcess> process;  // null when the launch failed
        QString error;                          // the reason, when it failed
    };
};
