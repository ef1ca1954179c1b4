// Reading a window's text through the accessibility bus, in two Qt windows of
// about 1 500 elements: 1 500 labels directly in the window, and 1 450 labels
// in 49 panels. Each is read by
//   1. a naive walk, one blocking D-Bus call after another, element by element
//      (interfaces, name, text, children);
//   2. Sayri's walk (ScreenContextWalk over AtspiTree): each round's calls sent
//      at once, only the elements the bounded walk can still reach.
// Also Sayri's walk over a list of 100 000 rows and past a megabyte text field.
// Wall time (median and best of several runs) and the CPU time spent by this
// process and by the window's. The windows of labels and the megabyte field
// are this executable's own, started again with "--window"; the list is the
// tests' window program's. Run inside the desktop session:
//   scripts/desktop-session build/bench/bench_ScreenWalk
#include "Timings.h"
#include "desktop/ScreenContext.h"
#include "platform/linux/atspi/AtspiTree.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString program = QStringLiteral(SAYRI_BIN_DIR "/tests/support/screen-window/sayri-screen-window");

// CPU time used so far, in milliseconds: this process, and another one.
double ownCpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double cpuMsOf(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15 of the whole line.
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) * 1e3 / double(sysconf(_SC_CLK_TCK));
}

struct Figures {
    std::vector<double> wall, own, app;
};

void report(const char* label, const Figures& f, int calls, qsizetype lines)
{
    std::printf("%-40s %7.1f ms median  %7.1f ms best  cpu %6.1f + %6.1f ms  %6d calls  %5lld lines\n", label,
                Timings(f.wall).median, Timings(f.wall).min, Timings(f.own).median, Timings(f.app).median, calls,
                static_cast<long long>(lines));
}

// The window program, frontmost; ended by its PID at the end.
struct Window {
    QProcess process;
    explicit Window(const QStringList& args)
    {
        if (args.first() == QLatin1String("list"))
            process.start(program, args);
        else
            process.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--window")} + args);
        process.waitForStarted();
        QByteArray out;
        while (!out.contains('\n') && process.waitForReadyRead(20000))
            out += process.readAllStandardOutput();
    }
    ~Window()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
    qint64 pid() const { return process.processId(); }
};

// The walk as written for one element at a time, each call waiting for its answer.
class NaiveWalk {
public:
    explicit NaiveWalk(QDBusConnection bus) : bus_(std::move(bus)) {}
    int calls = 0;

    QString text(const QString& owner, const QString& path)
    {
        QString text;
        int visited = 0;
        collect(owner, path, 0, text, visited);
        return text;
    }

private:
    QDBusMessage call(const QString& owner, const QString& path, const QString& interface, const QString& member,
                      const QVariantList& args = {})
    {
        ++calls;
        QDBusMessage m = QDBusMessage::createMethodCall(owner, path, interface, member);
        m.setArguments(args);
        return bus_.call(m, QDBus::Block, 2000);
    }

    void collect(const QString& owner, const QString& path, int depth, QString& text, int& visited)
    {
        if (depth > 12 || visited > 1500 || text.size() > 12000)
            return;
        ++visited;
        const QDBusMessage interfaces =
            call(owner, path, QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("GetInterfaces"));
        if (!interfaces.arguments().isEmpty()
            && interfaces.arguments().first().toStringList().contains(QStringLiteral("org.a11y.atspi.Text"))) {
            const QDBusMessage value =
                call(owner, path, QStringLiteral("org.a11y.atspi.Text"), QStringLiteral("GetText"), {0, -1});
            const QString v = value.arguments().value(0).toString();
            if (!v.isEmpty() && v.size() < 4000)
                text += v + u'\n';
        }
        const QDBusMessage name =
            call(owner, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                 {QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("Name")});
        const QString t = name.arguments().value(0).value<QDBusVariant>().variant().toString();
        if (!t.isEmpty() && t.size() < 200)
            text += t + u'\n';
        const QDBusMessage children =
            call(owner, path, QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("GetChildren"));
        if (children.arguments().isEmpty())
            return;
        const QDBusArgument arg = children.arguments().first().value<QDBusArgument>();
        QList<QPair<QString, QString>> refs;
        arg.beginArray();
        while (!arg.atEnd()) {
            QString o;
            QDBusObjectPath p;
            arg.beginStructure();
            arg >> o >> p;
            arg.endStructure();
            refs.append({o, p.path()});
        }
        arg.endArray();
        for (const auto& [o, p] : refs) {
            collect(o, p, depth + 1, text, visited);
            if (visited >= 1501 || text.size() >= 12001)
                break;
        }
    }

    QDBusConnection bus_;
};

QDBusConnection accessibilityBus()
{
    const QDBusMessage get =
        QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                       QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
    const QString address = QDBusConnection::sessionBus().call(get).arguments().value(0).toString();
    return QDBusConnection::connectToBus(address, QStringLiteral("bench-a11y"));
}

// Waits until the application has published its tree.
std::optional<AccessibleElement> windowOf(AtspiTree& tree, qint64 pid)
{
    for (int i = 0; i < 200; ++i) {
        if (std::optional<AccessibleElement> w = tree.activeWindow(pid).element)
            return w;
        QThread::msleep(50);
    }
    return std::nullopt;
}

void benchSayri(const char* label, const QStringList& args, int runs)
{
    AtspiTree tree;
    Window window(args);
    const std::optional<AccessibleElement> w = windowOf(tree, window.pid());
    if (!w) {
        std::printf("%-40s window not found\n", label);
        return;
    }
    Figures f;
    qsizetype lines = 0;
    int calls = 0;
    for (int i = 0; i < runs; ++i) {
        const int before = tree.callsSent();
        const double own = ownCpuMs(), app = cpuMsOf(window.pid());
        QElapsedTimer t;
        t.start();
        const QString text = ScreenContext::axVisibleText(tree, window.pid());
        f.wall.push_back(double(t.nsecsElapsed()) / 1e6);
        f.own.push_back(ownCpuMs() - own);
        f.app.push_back(cpuMsOf(window.pid()) - app);
        lines = text.count(u'\n');
        calls = tree.callsSent() - before;
    }
    report(label, f, calls, lines);
}

bool benchNaive(const char* label, const QStringList& args)
{
    Window window(args);
    AtspiTree tree;
    const std::optional<AccessibleElement> w = windowOf(tree, window.pid());
    if (!w) {
        std::fprintf(stderr, "the window published no tree\n");
        return false;
    }
    NaiveWalk naive(accessibilityBus());
    Figures f;
    qsizetype lines = 0;
    for (int i = 0; i < 5; ++i) {
        naive.calls = 0;
        const double own = ownCpuMs(), app = cpuMsOf(window.pid());
        QElapsedTimer t;
        t.start();
        lines = naive.text(w->owner, w->path).count(u'\n');
        f.wall.push_back(double(t.nsecsElapsed()) / 1e6);
        f.own.push_back(ownCpuMs() - own);
        f.app.push_back(cpuMsOf(window.pid()) - app);
    }
    report(label, f, naive.calls, lines);
    return true;
}

// The windows only this benchmark reads ("--window KIND [N]"): N labels
// "項目1" … "項目N" placed without a layout, each a direct child of the window
// (labels) or of a panel of 30 (groups); or a text field holding a megabyte
// and one label (megabyte). Prints a line once its window has the focus.
int showWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString kind = app.arguments().value(2);
    const int n = app.arguments().value(3).toInt(), perPanel = kind == QLatin1String("groups") ? 30 : 0;
    QWidget window;
    window.setWindowTitle(QStringLiteral("窓"));
    if (kind == QLatin1String("megabyte")) {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(new QPlainTextEdit(QStringLiteral("メガバイト").repeated(1024 * 1024 / 5)));
        layout->addWidget(new QLabel(QStringLiteral("メガバイトの隣のラベル")));
    }
    QWidget* parent = &window;
    for (int i = 0; i < n; ++i) {
        if (perPanel > 0 && i % perPanel == 0)
            parent = new QWidget(&window);
        auto* label = new QLabel(QStringLiteral("項目%1").arg(i + 1), parent);
        label->setGeometry(0, 14 * (perPanel > 0 ? i % perPanel : i), 400, 14);
    }
    QObject::connect(&app, &QGuiApplication::focusWindowChanged, [] {
        std::puts("ready");
        std::fflush(stdout);
    });
    window.resize(480, 360);
    window.show();
    window.activateWindow();
    return app.exec();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--window") == 0)
        return showWindow(argc, argv);
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "no X display: run inside scripts/desktop-session\n");
        return 1;
    }
    AtspiTree switcher;
    switcher.setAccessibilityOn(true);  // a throw-away session: left on
    const QList<std::pair<const char*, QStringList>> windows{
        {"1 500 labels in one window", {QStringLiteral("labels"), QStringLiteral("1500")}},
        {"1 450 labels in 49 panels", {QStringLiteral("groups"), QStringLiteral("1450")}},
    };
    for (const auto& [what, args] : windows) {
        if (!benchNaive(qPrintable(QStringLiteral("naive, ") + QLatin1String(what)), args))
            return 1;
        benchSayri(qPrintable(QStringLiteral("Sayri, ") + QLatin1String(what)), args, 15);
    }
    benchSayri("Sayri, list of 100 000 rows", {QStringLiteral("list"), QStringLiteral("100000")}, 5);
    benchSayri("Sayri, megabyte text field", {QStringLiteral("megabyte")}, 5);
    return 0;
}
