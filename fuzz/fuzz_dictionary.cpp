// "dictionary.txt" as every reader of it sees it, then saved in its own order
// by the dictionary table and one word deleted: nothing crashes, the prompt
// keeps to its budget, a saved order reads back the same and a deleted word
// is gone.
#include "FuzzData.h"

#include "store/Config.h"
#include "store/Dictionary.h"
#include "support/Graphemes.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzData::useScratchDataFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzData::writeDataFile(QStringLiteral("sayri.log"), {});
    FuzzData::writeDataFile(QStringLiteral("dictionary.txt"), FuzzData::bytes(data, size));
    const QList<Config::DictionaryEntry> entries = Config::dictionaryEntries();
    if (Config::dictionaryDisplayEntries().size() != entries.size())
        FuzzData::fail("the table shows every word");
    QStringList screenTerms{QStringLiteral("フーリエ変換")};
    for (const Config::DictionaryEntry& e : entries.mid(entries.size() / 2, 3))
        screenTerms.append(e.surface);
    for (const QString& prompt : {Config::dictionaryLine(), Config::hintLine(screenTerms)}) {
        if (Graphemes::count(prompt) > Config::dictionaryBudget + 1)
            FuzzData::fail("the prompt keeps to its budget", prompt);
    }
    Config::dictionaryReplacements();
    if (entries.isEmpty())
        return 0;

    Config::rewriteDictionary(entries);
    if (Config::dictionaryEntries() != entries)
        FuzzData::fail("a saved order reads back the same");
    const QString removed = entries.first().surface;
    Config::removeWord(removed);
    for (const Config::DictionaryEntry& e : Config::dictionaryEntries()) {
        if (e.surface == removed)
            FuzzData::fail("a deleted word is gone", removed);
    }
    return 0;
}
