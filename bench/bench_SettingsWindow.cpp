// The settings window, run inside scripts/desktop-session (or with
// QT_QPA_PLATFORM=offscreen):
//
//   bench_SettingsWindow [ROUNDS]
//
// 1. First show of the window, from show() to the first paint of the window.
//    Goal: 150 ms.
// 2. Rendering each page at 880 × 600 (built and painted at once), median of
//    ROUNDS (20 by default): the history with 100 entries (one of them 10 000
//    characters), the dictionary with 5 000 words. Goal: 16 ms each.
// 3. Resident memory after the window showed every page and was closed,
//    against before the first show. Goal: at most 15 MB more.
#include "TestDataFolder.h"
#include "Timings.h"

#include "store/Config.h"
#include "ui/Brand.h"
#include "ui/SettingsWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPixmapCache>
#include <QWidget>

#include <cstdio>
#include <malloc.h>

namespace {

double residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    return 0;
}

// Records when the settings window is first painted.
class FirstPaint : public QObject {
public:
    QElapsedTimer clock;
    double at = -1;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (at < 0 && event->type() == QEvent::Paint && widget
            && widget->window()->objectName() == QLatin1String("settingsWindow"))
            at = clock.nsecsElapsed() / 1e6;
        return false;
    }
};

void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        // Outside a running event loop, as here, replaced pages go only when asked.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    TestDataFolder data;
    Config::bootstrap();
    QString words;
    for (int i = 0; i < 5000; ++i)
        words += i % 3 ? QStringLiteral("専門用語%1\n").arg(i) : QStringLiteral("よみ%1=言葉%1\n").arg(i);
    data.writeText(QStringLiteral("dictionary.txt"), words);
    QList<QPair<QDateTime, QString>> history;
    for (int i = 0; i < 100; ++i)
        history.append({QDateTime::currentDateTime().addSecs(-60 * i),
                        QStringLiteral("明日の打ち合わせは10時からです。資料は共有フォルダに置きました。")
                            .repeated(i == 0 ? 300 : 1 + i % 4)});

    SettingsWindow window;
    window.historyProvider = [&history] { return history; };
    // A running Sayri has shown Japanese text already (tray menu, recording
    // bar, setup window) in the regular, medium, semibold and bold faces, so
    // those font files are loaded before the window opens. Without this the
    // figure below also counts the pages of the font files read on the way.
    QWidget shown;
    int y = 0;
    for (const QFont::Weight weight : {QFont::Normal, QFont::Medium, QFont::DemiBold, QFont::Bold}) {
        auto* l = new QLabel(QStringLiteral("サイリ 準備OK。Altキーを2回押すと録音が始まります"), &shown);
        l->setFont(Brand::font(13, weight));
        l->move(0, y += 20);
    }
    shown.show();
    settle();
    shown.hide();
    settle();
    const double before = residentMegabytes();

    FirstPaint paint;
    app.installEventFilter(&paint);
    paint.clock.start();
    window.show();
    while (paint.at < 0 && paint.clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    app.removeEventFilter(&paint);
    settle();
    std::printf("first show to painted: %.1f ms (goal 150); resident +%.1f MB\n", paint.at,
                residentMegabytes() - before);

    const char* names[] = {"設定", "じぶん辞書 (5 000 words)", "履歴 (100 entries)", "使い方"};
    for (int page = 0; page < 4; ++page) {
        std::vector<double> ms;
        for (int i = 0; i < rounds; ++i) {
            QElapsedTimer t;
            t.start();
            window.switchPage(SettingsPage(page));
            window.window()->repaint();
            ms.push_back(t.nsecsElapsed() / 1e6);
            settle();  // lets the replaced page go
        }
        const Timings timings(ms);
        std::printf("render %s: median %.1f ms (min %.1f, max %.1f; goal 16); resident +%.1f MB\n", names[page],
                    timings.median, timings.min, timings.max, residentMegabytes() - before);
    }
    window.window()->close();
    settle();
    const double after = residentMegabytes();
    std::printf("resident memory: %.1f MB before, %.1f MB after every page and closing: +%.1f MB (goal 15)\n", before,
                after, after - before);
    // How much of that is memory the allocator keeps for reuse rather than live data.
    malloc_trim(0);
    std::printf("  after returning free memory to the system: +%.1f MB\n", residentMegabytes() - before);
    QPixmapCache::clear();
    malloc_trim(0);
    std::printf("  and emptying Qt's shared pixmap cache (at most 10 MB): +%.1f MB\n", residentMegabytes() - before);
    return 0;
}
