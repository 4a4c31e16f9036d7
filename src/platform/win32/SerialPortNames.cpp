#include "platform/SerialPortNames.h"

#include <windows.h>

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

// A device name such as \\.\COM3 is no file: the system's device list knows it.
bool PortPathExists(const std::string& path)
{
    const std::string device_prefix = "\\\\.\\";
    if (path.compare(0, device_prefix.size(), device_prefix) == 0) {
        char target[1024];
        return ::QueryDosDeviceA(path.substr(device_prefix.size()).c_str(), target, sizeof target) != 0;
    }
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace verup
