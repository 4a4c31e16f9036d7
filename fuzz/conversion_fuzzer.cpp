// libFuzzer target: the re-laying of an old backup and its value rules.
#include "InputFuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    verup::fuzz::ConversionOne(data, size);
    return 0;
}
