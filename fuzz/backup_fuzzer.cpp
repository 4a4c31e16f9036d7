// libFuzzer target: the settings backup file.
#include "InputFuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    verup::fuzz::BackupOne(data, size);
    return 0;
}
