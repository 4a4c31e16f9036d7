// libFuzzer target: S-record text conversion.
#include "ImageFuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    verup::fuzz::ConvertOne(data, size);
    return 0;
}
