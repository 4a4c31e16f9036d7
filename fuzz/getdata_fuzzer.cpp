// libFuzzer target: the items of a getdata reply.
#include "InputFuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    verup::fuzz::GetdataOne(data, size);
    return 0;
}
