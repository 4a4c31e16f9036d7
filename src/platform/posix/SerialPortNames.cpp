#include "platform/SerialPortNames.h"

#include <cstdlib>
#include <sys/stat.h>

namespace verup {
namespace {

// The n of "COMn" (1 ... 255), or 0.
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
    return n >= 1 && n <= 255 ? n : 0;
}

bool Exists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

std::string ResolvePortName(const std::string& name)
{
    const int n = ComNumber(name);
    if (n == 0)
        return name;
    const std::string variable = "VERUP_" + name;
    if (const char* value = std::getenv(variable.c_str()); value != nullptr && *value != '\0')
        return value;
    const std::string usb = "/dev/ttyUSB" + std::to_string(n - 1);
    if (Exists(usb))
        return usb;
    return "/dev/ttyS" + std::to_string(n - 1);
}

bool PortPathExists(const std::string& path) { return Exists(path); }

}  // namespace verup
