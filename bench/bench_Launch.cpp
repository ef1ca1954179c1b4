// Launch to tray icon shown (median of 10) and resident memory after 10 s idle.
// Run inside the desktop session:
//   scripts/desktop-session build/bench/bench_Launch
#include "Timings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <vector>

namespace {

bool hasClass(Display* d, Window w, const char* name)
{
    XClassHint hint{};
    if (!XGetClassHint(d, w, &hint))
        return false;
    const bool match = hint.res_class && std::string(hint.res_class) == name;
    XFree(hint.res_name);
    XFree(hint.res_class);
    return match;
}

// A window of class `app` below a window of class `host`.
bool embedded(Display* d, Window w, bool insideHost)
{
    Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n))
        return false;
    bool found = false;
    for (unsigned i = 0; i < n && !found; ++i) {
        if (insideHost && hasClass(d, children[i], "Sayri"))
            found = true;
        else
            found = embedded(d, children[i], insideHost || hasClass(d, children[i], "trayer"));
    }
    if (children)
        XFree(children);
    return found;
}

// Windows come and go while the tree is walked.
int ignoreXErrors(Display*, XErrorEvent*)
{
    return 0;
}

long rssKiB(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X display: run inside scripts/desktop-session\n");
        return 1;
    }
    XSetErrorHandler(ignoreXErrors);
    std::vector<double> ms;
    for (int i = 0; i < 10; ++i) {
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(QStringLiteral(SAYRI_APP_PATH), {QStringLiteral("--login-item")});
        while (!embedded(display, DefaultRootWindow(display), false) && t.elapsed() < 10000)
            QThread::usleep(1000);
        ms.push_back(t.nsecsElapsed() / 1e6);
        if (i == 9) {
            QThread::sleep(10);
            std::printf("resident memory after 10 s idle: %.1f MB\n", rssKiB(p.processId()) / 1024.0);
        }
        ::kill(pid_t(p.processId()), SIGTERM);
        p.waitForFinished(10000);
    }
    const Timings t(ms);
    std::printf("launch to tray icon shown: median %.0f ms (min %.0f, max %.0f) over 10 launches\n", t.median, t.min,
                t.max);
    XCloseDisplay(display);
    return 0;
}
