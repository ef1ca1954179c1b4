// "config.json" as start-up reads it: no input crashes the strict decoding,
// and a record it accepts reads back unchanged once saved.
#include "FuzzData.h"

#include "store/ConfigData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto record = ConfigData::decode(FuzzData::bytes(data, size));
    if (record && ConfigData::decode(record->encode()) != record)
        FuzzData::fail("a settings record reads back as saved", QString::fromUtf8(record->encode()));
    return 0;
}
