// libFuzzer target: the serial reply matcher.
#include "InputFuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    verup::fuzz::MatcherOne(data, size);
    return 0;
}
