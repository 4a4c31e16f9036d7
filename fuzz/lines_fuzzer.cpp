// libFuzzer target: loading a boot or FPGA file into its line table.
#include <unistd.h>

#include "ImageFuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string scratch = "/tmp/verup-lines-fuzz-" + std::to_string(::getpid()) + ".mot";
    verup::fuzz::LoadLinesOne(data, size, scratch);
    return 0;
}
