#pragma once
// The tool names serial ports "COM%d" everywhere it shows them; on this system each name
// stands for a device path.
#include <string>

namespace verup {

// The n of "COMn" when 1 <= n <= max_number, else 0.
int ComNumber(const std::string& name, int max_number);

// "COMn": the environment variable VERUP_COMn when set, else /dev/ttyUSB<n-1> when it
// exists, else /dev/ttyS<n-1>. On Windows, the system's own COMn (n up to 256). Any other
// name is taken as a path.
std::string ResolvePortName(const std::string& name);
// The one name of the port behind `name` (a COMn or a path), whatever link led to it, so
// that two runs reaching one port by different names are seen to share it:
// /dev/serial/by-id/usb-... and COM1 may both be /dev/ttyUSB0.
std::string PortIdentity(const std::string& name);
// What "COMn" stands for on this machine, for people choosing a port: the device path (or on
// Windows the system's device name) when a port is there, else empty.
std::string ComNameTarget(const std::string& name);
// Whether there is a port (or any file) at a path ResolvePortName gave.
bool PortPathExists(const std::string& path);

// For help texts: what "COMn" stands for here, and what opening a port needs.
#ifdef _WIN32
#define VERUP_COM_NAME_TARGET "the system's own COMn"
#define VERUP_PORT_ACCESS_NEED "no other program may hold it open"
#else
#define VERUP_COM_NAME_TARGET "$VERUP_COMn, else /dev/ttyUSB<n-1> or /dev/ttyS<n-1>"
#define VERUP_PORT_ACCESS_NEED "you need read and write access to it (group dialout)"
#endif

}  // namespace verup
