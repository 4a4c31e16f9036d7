// libFuzzer target: loading a boot or FPGA file into its line table.
#include <unistd.h>

#include <cstdlib>

#include "ImageFuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // TMPDIR=/dev/shm keeps the scratch file off the disk (many times faster).
    static const char* const tmp = std::getenv("TMPDIR");
    static const std::string scratch = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                                       "/verup-lines-fuzz-" + std::to_string(::getpid()) + ".mot";
    verup::fuzz::LoadLinesOne(data, size, scratch);
    return 0;
}
