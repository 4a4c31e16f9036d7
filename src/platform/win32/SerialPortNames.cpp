#include "platform/SerialPortNames.h"

namespace verup {
namespace {

// The n of "COMn" (1 ... 256), or 0.
int ComNumber(const std::string& name)
{
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0)
        return 0;
    int n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return 0;
        n = n * 10 + (name[i] - '0');
    }
    return n >= 1 && n <= 256 ? n : 0;
}

}  // namespace

// "COMn" is the system's own COMn, through the device namespace (COM10 and up need it); any
// other name is a path.
std::string ResolvePortName(const std::string& name)
{
    return ComNumber(name) != 0 ? "\\\\.\\" + name : name;
}

}  // namespace verup
