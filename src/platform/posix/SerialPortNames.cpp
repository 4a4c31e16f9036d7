#include "platform/SerialPortNames.h"

#include <cstdlib>
#include <sys/stat.h>

namespace verup {
namespace {

bool Exists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

std::string ResolvePortName(const std::string& name)
{
    const int n = ComNumber(name, 255);
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

std::string PortIdentity(const std::string& name)
{
    const std::string path = ResolvePortName(name);
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr)
        return path;
    std::string identity(real);
    std::free(real);
    return identity;
}

std::string ComNameTarget(const std::string& name)
{
    const std::string path = ResolvePortName(name);
    return Exists(path) ? path : std::string();
}

bool PortPathExists(const std::string& path) { return Exists(path); }

}  // namespace verup
