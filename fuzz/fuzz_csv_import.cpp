// A CSV word list (UTF-8 or Shift-JIS) imported into an empty dictionary:
// nothing crashes, and every word counted as added reads back from it.
#include "FuzzData.h"

#include "store/Config.h"
#include "store/Dictionary.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzData::useScratchDataFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzData::writeDataFile(QStringLiteral("sayri.log"), {});
    FuzzData::writeDataFile(QStringLiteral("dictionary.txt"), {});
    FuzzData::writeDataFile(QStringLiteral("words.csv"), FuzzData::bytes(data, size));
    const Config::CSVImportResult result = Config::importDictionaryCSV(Config::file(QStringLiteral("words.csv")));
    if (Config::dictionaryEntries().size() != result.added)
        FuzzData::fail("every word counted as added is in the dictionary");
    return 0;
}
