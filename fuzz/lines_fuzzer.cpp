// libFuzzer target: loading a boot or FPGA file into its line table.
#include "ImageFuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    verup::fuzz::LoadLinesOne(data, size);
    return 0;
}
