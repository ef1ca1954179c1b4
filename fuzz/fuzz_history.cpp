// "history.json" as the history store reads it: no input crashes the
// decoding, and a list it accepts reads back unchanged once saved.
#include "FuzzData.h"

#include "store/HistoryStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto entries = HistoryStore::decode(FuzzData::bytes(data, size));
    if (entries && HistoryStore::decode(HistoryStore::encode(*entries)) != entries)
        FuzzData::fail("a history reads back as saved", QString::fromUtf8(HistoryStore::encode(*entries)));
    return 0;
}
