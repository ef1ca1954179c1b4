// A ".openpage" request as the launch reads it: no content crashes the
// reading, and the one-shot request is gone once read.
#include "FuzzData.h"

#include "app/AppDelegate.h"
#include "store/Config.h"

#include <QFileInfo>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzData::useScratchDataFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzData::writeDataFile(QStringLiteral(".openpage"), FuzzData::bytes(data, size));
    const std::optional<QString> page = AppDelegate::takePageRequest();
    if (!page || QFileInfo::exists(Config::file(QStringLiteral(".openpage"))))
        FuzzData::fail("a request is read once");
    return 0;
}
