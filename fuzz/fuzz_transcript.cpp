// Recognised text through the clean-up and the joining of its lines: no
// input crashes them, and the result is one line.
#include "FuzzData.h"

#include "recognition/Transcript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString raw = FuzzData::text(data, size);
    if (Transcript::clean(raw).contains(u'\n') || Transcript::joinLines(raw).contains(u'\n'))
        FuzzData::fail("the cleaned text is one line", raw);
    return 0;
}
