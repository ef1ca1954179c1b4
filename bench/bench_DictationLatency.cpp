// From the final key release to the text in the focused window, for whole
// dictations through the built Sayri with the stand-in server answering at
// once: median of 10. Sayri waits 0.42 s on purpose (0.3 s before collecting
// the recording, 0.12 s for the clipboard); the figure reported is the rest.
// With a number of rounds (say 200) it goes on and reports Sayri's anonymous resident
// memory and open descriptors after round 10, every 50 rounds and after the
// last, so that growth shows. With "preview" after the rounds the live
// preview's data is in place, so that a preview server runs beside the
// recognition server while the user speaks. Run inside the desktop session:
//   scripts/desktop-session build/bench/bench_DictationLatency [ROUNDS] [preview]
#include "LogFile.h"
#include "PasteTarget.h"
#include "Timings.h"
#include "WhisperStandIn.h"
#include "XTestKeys.h"

#include "preview/PreviewModel.h"
#include "store/Config.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

bool waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QTest::qWait(1);
    }
    return true;
}

// Anonymous resident memory in KiB (heap and stacks, without the mapped
// libraries and the X images shared with the server, which come and go with
// the system's paging) and open descriptors of a process, from /proc.
std::pair<long, long> footprint(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    long rss = 0;
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("RssAnon:"))
                rss = line.mid(8).trimmed().split(' ').value(0).toLong();
    const long fds =
        long(QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
    return {rss, fds};
}

int recordings()
{
    return logMessages().join(u'\n').count(QStringLiteral("録音開始"));
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication qapp(argc, argv);
    const QString speech = QDir::homePath() + QStringLiteral("/speech.wav");
    QProcess::execute(QStringLiteral("espeak-ng"), {QStringLiteral("-v"), QStringLiteral("ja"), QStringLiteral("-w"),
                                                    speech, QStringLiteral("今日は晴れです")});
    QDir().mkpath(Config::dataFolder());
    Config::bootstrap();
    WhisperStandIn standIn;
    standIn.configure(WhisperStandIn::freePort());
    Config::save();
    if (argc > 2 && qstrcmp(argv[2], "preview") == 0) {
        QDir().mkpath(QFileInfo(PreviewModel::path()).path());
        QFile model(PreviewModel::path());  // sparse: the stand-in never reads it
        if (!model.open(QIODevice::WriteOnly) || !model.resize(PreviewModel::genuine.size))
            return 1;
    }
    standIn.setReplies(QJsonArray{QJsonObject{{QStringLiteral("text"), QStringLiteral("今日は晴れです")}}});

    QProcess app;
    app.start(QStringLiteral(SAYRI_APP_PATH), {QStringLiteral("--login-item")});
    if (!waitFor([] { return logContains(QStringLiteral("キー監視を開始")); }, 10000)
        || !waitFor([&] { return !standIn.starts().isEmpty(); }, 10000)) {
        std::fprintf(stderr, "Sayri did not come up\n");
        return 1;
    }
    QTest::qWait(1000);

    XTestKeys keys(XTestKeys::physicalKeyboard);
    const int rounds = std::max(10, argc > 1 ? std::atoi(argv[1]) : 10);
    std::vector<double> ms;
    std::pair<long, long> atTen;
    // One window for every round, as a user dictates into the same editor.
    PasteTarget target;
    if (!target.start()) {
        std::fprintf(stderr, "no target window\n");
        return 1;
    }
    for (int i = 0; i < rounds; ++i) {
        const qsizetype typed = target.text().size();
        const int before = recordings();
        keys.tap("Alt_L");
        QTest::qWait(150);
        keys.tap("Alt_L");
        if (!waitFor([&] { return recordings() > before; }, 5000))
            break;
        QProcess::execute(QStringLiteral("paplay"), {QStringLiteral("--device=vsink"), speech});
        keys.down("Alt_L");
        QTest::qWait(30);
        QElapsedTimer t;
        keys.up("Alt_L");
        t.start();
        if (!waitFor([&] { return target.text().size() > typed; }, 10000))
            break;
        ms.push_back(t.nsecsElapsed() / 1e6);
        QTest::qWait(1600);  // the confirmation is gone before the next round
        if (i == 9)
            atTen = footprint(app.processId());
        if ((i + 1) % 50 == 0) {  // the trend, while it runs
            const std::pair<long, long> now = footprint(app.processId());
            std::fprintf(stderr, "after %d: %ld KiB anonymous, %ld descriptors\n", i + 1, now.first, now.second);
        }
    }
    const std::pair<long, long> atEnd = footprint(app.processId());
    ::kill(pid_t(app.processId()), SIGTERM);
    app.waitForFinished(10000);
    if (ms.size() < size_t(rounds)) {
        std::fprintf(stderr, "only %zu of %d dictations arrived\n", ms.size(), rounds);
        return 1;
    }
    const Timings t(std::vector<double>(ms.begin(), ms.begin() + 10));
    std::printf("key release to text in the window: median %.0f ms (min %.0f, max %.0f); "
                "beyond the fixed 420 ms: %.0f ms\n",
                t.median, t.min, t.max, t.median - 420);
    const auto& asked = standIn.inferenceRequests();
    std::printf("preview requests meanwhile: %lld\n",
                qlonglong(std::count_if(asked.begin(), asked.end(), [](const auto& r) {
                    return r.header("host").endsWith(':' + QByteArray::number(Config::shared().whisperPort + 1));
                })));
    if (rounds > 10)
        std::printf(
            "after 10 dictations: %ld KiB anonymous resident, %ld descriptors; after %d: %ld KiB, %ld descriptors\n",
            atTen.first, atTen.second, rounds, atEnd.first, atEnd.second);
    return 0;
}
