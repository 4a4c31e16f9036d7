#pragma once
// The serial ports this machine has, as a technician needs to pick one: the device path, the
// kernel driver, the USB adapter's identity where there is one, the stable /dev/serial/by-id
// names, and whether this user can open the port now.
#include <string>
#include <vector>

namespace verup {

enum class PortAccess {
    Usable,        // opened and locked, then let go
    Busy,          // another program holds it
    NoPermission,  // this user may not open it (not in the dialout group)
    Missing,       // nothing at that path
    NotSerial,     // the path is not a terminal
    Failed,        // any other reason (see the detail)
};

struct PortAccessResult {
    PortAccess Access = PortAccess::Failed;
    std::string Detail;  // plain English: why, and what to do
};

struct SerialPortInfo {
    std::string Path;         // /dev/ttyUSB0
    std::string Driver;       // the kernel driver, e.g. "ftdi_sio"; empty when unknown
    std::string Transport;    // "usb", "native", "bluetooth" or "unknown"
    std::string Description;  // the adapter's own description
    int UsbVendorId = -1;     // -1 when the port is not on USB
    int UsbProductId = -1;
    std::string UsbManufacturer;
    std::string UsbProduct;
    std::string UsbSerial;
    std::vector<std::string> StableNames;  // /dev/serial/by-id/... links to this port
    PortAccessResult Access;
};

// Every serial port the system lists, sorted by path (so repeated calls agree), each with its
// access checked. Never throws; an empty list when there are none.
std::vector<SerialPortInfo> ListSerialPorts();

// The USB serial adapters the system lists (their paths, in the order of ListSerialPorts),
// without opening any: what a port scan adds to the COM names.
std::vector<std::string> UsbSerialPortPaths();

// Opens `path` as the update would (read-write, locked against other openers) and lets it go at
// once, without changing its line settings.
PortAccessResult CheckPortAccess(const std::string& path);

// "usable", "busy", "no-permission", "missing", "not-serial", "failed": for reports.
const char* PortAccessName(PortAccess access);

}  // namespace verup
