// libFuzzer entry of every target in InputFuzzTargets.h; the build names the body in
// VERUP_FUZZ_BODY (see CMakeLists.txt).
#include "InputFuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    verup::fuzz::VERUP_FUZZ_BODY(data, size);
    return 0;
}
