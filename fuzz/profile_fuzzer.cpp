// libFuzzer target: verup.dat: the profile file and the configuration read from it.
#include "InputFuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    verup::fuzz::ProfileOne(data, size);
    return 0;
}
