// Importing a 5 000-row CSV word list into the personal dictionary, in UTF-8
// and in Shift-JIS. Goal: under 100 ms.
#include "BenchDataFolder.h"
#include "Timings.h"
#include "store/Config.h"
#include "store/Dictionary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

QString makeCSV()
{
    QStringList rows{u"よみ,表記"_s};
    for (int i = 0; i < 5000; ++i) {
        if (i % 2 == 0)
            rows.append(u"\"ようご%1\",\"用語%1\""_s.arg(i));
        else
            rows.append(u"固有名詞%1,固有名詞%1"_s.arg(i));
    }
    return rows.join(u"\r\n"_s) + u"\r\n"_s;
}

void write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
}

void measure(const char* label, const QString& csvPath)
{
    std::vector<double> ms;
    Config::CSVImportResult result;
    for (int run = 0; run < 20; ++run) {
        write(Config::file(u"dictionary.txt"_s), Config::defaultDictionary.toUtf8());
        const auto start = std::chrono::steady_clock::now();
        result = Config::importDictionaryCSV(csvPath);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    const Timings t(ms);
    std::printf("importDictionaryCSV %s, 5000 rows: added %d, skipped %d; median %.1f ms, best %.1f ms, worst %.1f ms "
                "(%zu runs; goal < 100 ms)\n",
                label, result.added, result.skipped, t.median, t.min, t.max, ms.size());
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const BenchDataFolder dir;

    const QString csv = makeCSV();
    const QString utf8Path = dir.path() + u"/words-utf8.csv"_s;
    const QString sjisPath = dir.path() + u"/words-sjis.csv"_s;
    write(utf8Path, csv.toUtf8());
    write(sjisPath, QStringEncoder("Shift_JIS").encode(csv));

    measure("UTF-8", utf8Path);
    measure("Shift-JIS", sjisPath);
    return 0;
}
