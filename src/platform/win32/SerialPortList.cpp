#include "platform/SerialPortList.h"

#include <windows.h>

#include <algorithm>

#include "platform/SerialPortNames.h"
#include "platform/win32/Win32Error.h"

namespace verup {
namespace {

// The kernel device a "COMn" name stands for ("\Device\Serial0", "\Device\VCP0"), or "".
std::string DosDeviceOf(const std::string& name)
{
    char target[1024] = {};
    const DWORD length = ::QueryDosDeviceA(name.c_str(), target, sizeof target);
    return length == 0 ? std::string() : std::string(target);
}

bool Contains(std::string text, std::string_view word)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; });
    return text.find(word) != std::string::npos;
}

const char* TransportOf(const std::string& device)
{
    if (Contains(device, "USB") || Contains(device, "VCP") || Contains(device, "SILABSER"))
        return "usb";
    if (Contains(device, "BTHMODEM"))
        return "bluetooth";
    if (Contains(device, "\\DEVICE\\SERIAL"))
        return "native";
    return "unknown";
}

}  // namespace

PortAccessResult CheckPortAccess(const std::string& path)
{
    HANDLE port = ::CreateFileA(ResolvePortName(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME: return {PortAccess::Missing, "no such port"};
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return {PortAccess::Busy, "used by another program; close it, or pick another port"};
        default: return {PortAccess::Failed, Win32ErrorText(error)};
        }
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    PortAccessResult result{PortAccess::Usable, {}};
    if (!::GetCommState(port, &dcb))
        result = {PortAccess::NotSerial, "not a serial port"};
    ::CloseHandle(port);
    return result;
}

// The COM names the system knows, COM1 to COM256, in their number's order.
std::vector<SerialPortInfo> ListSerialPorts()
{
    std::vector<SerialPortInfo> ports;
    for (int n = 1; n <= 256; ++n) {
        const std::string name = "COM" + std::to_string(n);
        const std::string device = DosDeviceOf(name);
        if (device.empty())
            continue;
        SerialPortInfo info;
        info.Path = name;
        info.Driver = device;
        info.Transport = TransportOf(device);
        info.Description = device;
        info.Access = CheckPortAccess(name);
        ports.push_back(std::move(info));
    }
    return ports;
}

std::vector<std::string> UsbSerialPortPaths()
{
    std::vector<std::string> names;
    for (int n = 1; n <= 256; ++n) {
        const std::string name = "COM" + std::to_string(n);
        const std::string device = DosDeviceOf(name);
        if (!device.empty() && std::string(TransportOf(device)) == "usb")
            names.push_back(name);
    }
    return names;
}

}  // namespace verup
