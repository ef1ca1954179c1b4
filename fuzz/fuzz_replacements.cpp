// The dictionary's readings rewriting a recognised text: the input is a
// "dictionary.txt", then a NUL, then the text.
#include "FuzzData.h"

#include "store/Dictionary.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzData::useScratchDataFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = FuzzData::bytes(data, size);
    const qsizetype cut = input.indexOf('\0');
    FuzzData::writeDataFile(QStringLiteral("dictionary.txt"), cut < 0 ? input : input.left(cut));
    Config::rewriteReadings(cut < 0 ? QString() : QString::fromUtf8(input.mid(cut + 1)));
    return 0;
}
