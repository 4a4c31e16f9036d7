#include "platform/SerialPortNames.h"

#include <windows.h>

namespace verup {

// "COMn" is the system's own COMn, through the device namespace (COM10 and up need it); any
// other name is a path.
std::string ResolvePortName(const std::string& name)
{
    return ComNumber(name, 256) != 0 ? "\\\\.\\" + name : name;
}

// COM names are the system's own and fold case: "com3" and "\\.\COM3" are one port.
std::string PortIdentity(const std::string& name)
{
    std::string identity = ResolvePortName(name);
    for (char& c : identity)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return identity;
}

std::string ComNameTarget(const std::string& name)
{
    char target[1024];
    return ::QueryDosDeviceA(name.c_str(), target, sizeof target) != 0 ? std::string(target) : std::string();
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
