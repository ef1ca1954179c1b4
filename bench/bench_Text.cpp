// The text work after each recognition: clean-up, dictionary rewriting and
// the prompt for a 10-minute transcript (about 3 000 characters with 200 line
// breaks) against a 300-word dictionary with 100 readings. Goal: under 2 ms.
#include "BenchDataFolder.h"
#include "Timings.h"
#include "recognition/Transcript.h"
#include "store/Config.h"
#include "store/Dictionary.h"
#include "support/Graphemes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

QString makeDictionary()
{
    QStringList lines = Config::defaultDictionary.split(u'\n');
    for (int i = 0; i < 300; ++i) {
        if (i % 3 == 0)
            lines.append(u"よみ%1ごう=語彙%1号"_s.arg(i));
        else
            lines.append(u"専門用語%1"_s.arg(i));
    }
    return lines.join(u'\n') + u'\n';
}

QString makeTranscript()
{
    static const QStringList lines{
        u"今日は会議で資料を"_s,   u"確認しました"_s,         u"よみ3ごうについては"_s, u"また来週に話します"_s,
        u"そして予算の件ですが"_s, u"まだ決まっていません"_s, u"TypeScript"_s,          u"で書き直す"_s,
        u"ことになると思います"_s, u"よみ27ごうも同じです"_s,
    };
    QString text;
    for (int i = 0; i < 200; ++i)
        text += lines.at(i % lines.size()) + u"\n"_s;
    while (Graphemes::count(text) < 3000)
        text += u"補足の説明です"_s;
    return text + u"ご視聴ありがとうございました"_s;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const BenchDataFolder dir;
    {
        QFile f(Config::file(u"dictionary.txt"_s));
        f.open(QIODevice::WriteOnly);
        f.write(makeDictionary().toUtf8());
    }
    const QString raw = makeTranscript();
    const QStringList screenTerms{u"TypeScript"_s, u"会議資料"_s, u"予算"_s, u"語彙3号"_s, u"Sayri"_s};

    std::vector<double> ms;
    QString text;
    QString prompt;
    for (int run = 0; run < 300; ++run) {
        const auto start = std::chrono::steady_clock::now();
        text = Transcript::clean(raw);
        for (const Config::Replacement& r : Config::dictionaryReplacements())
            text.replace(r.from, r.to, Qt::CaseSensitive);
        text = text.trimmed();
        prompt = Config::hintLine(screenTerms);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    const Timings t(ms);
    std::printf("transcript: %d characters, %lld line breaks; result %d characters; prompt %d characters\n",
                Graphemes::count(raw), static_cast<long long>(raw.count(u'\n')), Graphemes::count(text),
                Graphemes::count(prompt));
    std::printf(
        "clean + replacements + hintLine: median %.3f ms, best %.3f ms, worst %.3f ms (%zu runs; goal < 2 ms)\n",
        t.median, t.min, t.max, ms.size());

    std::vector<double> parts[3];
    for (int run = 0; run < 300; ++run) {
        auto t0 = std::chrono::steady_clock::now();
        Transcript::clean(raw);
        auto t1 = std::chrono::steady_clock::now();
        Config::dictionaryReplacements();
        auto t2 = std::chrono::steady_clock::now();
        Config::hintLine(screenTerms);
        auto t3 = std::chrono::steady_clock::now();
        parts[0].push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        parts[1].push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
        parts[2].push_back(std::chrono::duration<double, std::milli>(t3 - t2).count());
    }
    const char* names[3] = {"clean", "dictionaryReplacements", "hintLine"};
    for (int i = 0; i < 3; ++i) {
        std::printf("  %s: median %.3f ms\n", names[i], Timings(parts[i]).median);
    }
    return 0;
}
