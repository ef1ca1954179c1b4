// Cost of filling the tray menu when it opens, with a full history of 100
// long entries (only 10 are shown) and the start-at-login entry read from
// disk each time. Median of 200 rebuilds. Runs headless:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_StatusMenu
#include "Timings.h"
#include "app/AppState.h"
#include "platform/linux/system/XdgAutostartLoginItem.h"
#include "store/Config.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/share")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    QApplication app(argc, argv);
    Config::bootstrap();

    AppServices services;
    services.loginItem = std::make_unique<XdgAutostartLoginItem>(QStringLiteral("/usr/bin/sayri"));
    QString error;
    services.loginItem->setEnabled(true, error);
    AppState state(std::move(services));
    const QString text = QString(QStringLiteral("今日の打ち合わせの内容を\n共有します。")).repeated(12);
    for (int i = 0; i < 100; ++i)
        (void)state.history().add(text, text, AppState::historyMode);

    QMenu menu;
    std::vector<double> ms;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer t;
        t.start();
        state.menuNeedsUpdate(&menu);
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    const Timings t(ms);
    std::printf("tray menu rebuild, 100 history entries of %d characters: median %.3f ms, max %.3f ms (%d items)\n",
                int(text.size()), t.median, t.max, int(menu.actions().size()));
    return 0;
}
