// Child processes on Linux: fork + exec from a watcher thread of their own.
//
// The watcher thread forks, waits for the child and reaps it the moment it
// exits, so no zombie is left even though Sayri's worker threads have no event
// loop. Because the parent-death signal is tied to the thread that forked, the
// forking thread is this watcher, which lives exactly as long as the child:
// the child then receives SIGKILL only when Sayri itself goes away.

#include "platform/linux/system/LinuxChildProcess.h"

#include <QFile>

#include <condition_variable>
#include <future>
#include <initializer_list>
#include <mutex>
#include <thread>
#include <vector>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class LinuxChildProcess final : public ChildProcess {
public:
    explicit LinuxChildProcess(pid_t pid) : pid_(pid) {}

    qint64 pid() const override { return pid_; }

    bool running() const override
    {
        std::lock_guard lock(mutex_);
        return !status_;
    }

    void terminate() override
    {
        send({SIGTERM, SIGCONT});
    }

    void suspend() override { send({SIGSTOP}); }
    void resume() override { send({SIGCONT}); }

    bool waitForExit(double seconds) override
    {
        std::unique_lock lock(mutex_);
        return exited_.wait_for(lock, std::chrono::duration<double>(std::max(0.0, seconds)),
                                [this] { return status_.has_value(); });
    }

    std::optional<int> exitStatus() const override
    {
        std::lock_guard lock(mutex_);
        return status_;
    }

    // Watcher thread: blocks until the child has exited, then reaps it.
    void watch()
    {
        siginfo_t info{};
        while (::waitid(P_PID, id_t(pid_), &info, WEXITED | WNOWAIT) == -1 && errno == EINTR) {}
        int raw = 0;
        {
            std::lock_guard lock(mutex_);
            while (::waitpid(pid_, &raw, 0) == -1 && errno == EINTR) {}
            status_ = WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : WEXITSTATUS(raw);
        }
        exited_.notify_all();
    }

private:
    void send(std::initializer_list<int> signals)
    {
        // Under the lock the child is at worst an unreaped zombie, so its id
        // cannot have been handed to another process yet.
        std::lock_guard lock(mutex_);
        if (!status_)
            for (int s : signals)
                ::kill(pid_, s);
    }

    const pid_t pid_;
    mutable std::mutex mutex_;
    std::condition_variable exited_;
    std::optional<int> status_;
};

// Runs in the child between fork and exec: async-signal-safe calls only.
[[noreturn]] void becomeProgram(const char* path, char* const* argv, int outputFd, int errorFd, pid_t parent)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)  // Sayri died before the signal was armed
        ::_exit(127);
    // Its own process group: a Ctrl+C meant for Sayri's terminal does not hit
    // the server; Sayri ends it politely instead.
    ::setpgid(0, 0);

    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        ::sigaction(sig, &standard, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    if (outputFd >= 0) {
        const int fd = outputFd < 3 ? ::fcntl(outputFd, F_DUPFD, 3) : outputFd;
        ::dup2(fd, STDOUT_FILENO);
        ::dup2(fd, STDERR_FILENO);
    }
    // Nothing else Sayri has open leaks into the program.
    ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);

    ::execv(path, argv);
    const int error = errno;
    [[maybe_unused]] ssize_t n = ::write(errorFd, &error, sizeof error);
    ::_exit(127);
}

}  // namespace

ChildProcess::Launch launchChildProcess(const QString& program, const QStringList& arguments, const QFile& output)
{
    // Everything the child needs is prepared before the fork.
    auto strings = std::make_shared<std::vector<QByteArray>>();
    strings->push_back(QFile::encodeName(program));
    for (const QString& a : arguments)
        strings->push_back(a.toLocal8Bit());
    const int outputFd = output.handle();

    std::promise<ChildProcess::Launch> result;
    std::future<ChildProcess::Launch> launched = result.get_future();
    auto run = [strings, outputFd, result = std::move(result)]() mutable {
        std::vector<char*> argv;
        for (QByteArray& s : *strings)
            argv.push_back(s.data());
        argv.push_back(nullptr);

        int errorPipe[2];
        if (::pipe2(errorPipe, O_CLOEXEC) != 0) {
            result.set_value({nullptr, QString::fromLocal8Bit(std::strerror(errno))});
            return;
        }
        const pid_t parent = ::getpid();
        const pid_t pid = ::fork();
        if (pid == 0)
            becomeProgram(argv[0], argv.data(), outputFd, errorPipe[1], parent);
        const int forkError = errno;
        ::close(errorPipe[1]);
        if (pid < 0) {
            ::close(errorPipe[0]);
            result.set_value({nullptr, QString::fromLocal8Bit(std::strerror(forkError))});
            return;
        }

        // The pipe closes on a successful exec; otherwise it carries errno.
        int execError = 0;
        ssize_t n;
        while ((n = ::read(errorPipe[0], &execError, sizeof execError)) == -1 && errno == EINTR) {}
        ::close(errorPipe[0]);
        if (n == ssize_t(sizeof execError)) {
            while (::waitpid(pid, nullptr, 0) == -1 && errno == EINTR) {}
            result.set_value({nullptr, QString::fromLocal8Bit(std::strerror(execError))});
            return;
        }

        auto child = std::make_shared<LinuxChildProcess>(pid);
        result.set_value({child, {}});
        child->watch();
    };

    try {
        std::thread(std::move(run)).detach();
    } catch (const std::system_error& e) {
        return {nullptr, QString::fromLocal8Bit(e.what())};
    }
    return launched.get();
}
