// libFuzzer target: the telnet reader: negotiation and the reply recognizer, in any segment cuts.
#include "InputFuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    verup::fuzz::TelnetOne(data, size);
    return 0;
}
