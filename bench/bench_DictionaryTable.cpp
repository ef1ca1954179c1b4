// The dictionary table with 5 000 words, offscreen or in
// scripts/desktop-session:
//
//   bench_DictionaryTable [WORDS]
//
// Median of 20 (milliseconds): reading the file and handing the words to the
// table; painting the visible rows (700 × 500); painting after a jump to the
// last row; one drag of the first word below the last, with the check of the
// file and its rewrite. Goal: each under 16 ms.
#include "TestDataFolder.h"
#include "Timings.h"

#include "store/Dictionary.h"
#include "ui/DictionaryModel.h"
#include "ui/DictionaryTable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QMimeData>

#include <cstdio>
#include <functional>

namespace {

void report(const char* what, const std::function<void()>& step)
{
    std::vector<double> ms;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer t;
        t.start();
        step();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    const Timings s(ms);
    std::printf("%-28s median %7.2f ms  (min %.2f, max %.2f)\n", what, s.median, s.min, s.max);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int words = argc > 1 ? std::atoi(argv[1]) : 5000;
    TestDataFolder data;
    QByteArray text;
    for (int i = 0; i < words; ++i)
        text += (i % 3 ? QStringLiteral("よみ%1=言葉%1\n") : QStringLiteral("固有名詞%1\n")).arg(i).toUtf8();
    writeFile(data.file(QStringLiteral("dictionary.txt")), text);

    DictionaryTable table;
    table.resize(700, 500);
    table.show();
    auto* view = table.findChild<QListView*>();
    report("read file + setEntries", [&] { table.setEntries(Config::dictionaryDisplayEntries()); });
    report("paint visible rows", [&] { table.grab(); });
    report("paint at the last row", [&] {
        view->scrollToBottom();
        table.grab();
        view->scrollToTop();
    });
    report("drag first below last", [&] {
        QMimeData drag;
        drag.setData(DictionaryModel::mimeType, "0");
        if (!view->model()->dropMimeData(&drag, Qt::MoveAction, words, 0, {}))
            std::printf("drop refused\n");
    });
    std::printf("%d words, %d rows\n", words, view->model()->rowCount());
    return 0;
}
