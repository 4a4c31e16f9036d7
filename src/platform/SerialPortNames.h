#pragma once
// The tool names serial ports "COM%d" everywhere it shows them; on this system each name
// stands for a device path.
#include <string>

namespace verup {

// "COMn": the environment variable VERUP_COMn when set, else /dev/ttyUSB<n-1> when it
// exists, else /dev/ttyS<n-1>. Any other name is taken as a path.
std::string ResolvePortName(const std::string& name);

}  // namespace verup
