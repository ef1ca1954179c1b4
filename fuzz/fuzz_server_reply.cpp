// The recognition server's reply to "/inference", read and cleaned as a
// dictation does.
#include "FuzzData.h"

#include "recognition/Inference.h"
#include "recognition/Transcript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (const auto text = Inference::replyText(FuzzData::bytes(data, size)))
        Transcript::clean(*text);
    return 0;
}
