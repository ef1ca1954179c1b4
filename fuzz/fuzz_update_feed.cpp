// The update feed as the update check reads it, and a build number as text.
#include "FuzzData.h"

#include "provision/UpdateNotice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto newest = UpdateNotice::detail::parseFeed(FuzzData::bytes(data, size));
    if (newest && newest->version.isEmpty())
        FuzzData::fail("a feed read has a version to show");
    UpdateNotice::detail::parseBuildNumber(FuzzData::text(data, size));
    return 0;
}
