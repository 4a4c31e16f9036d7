#include "platform/SerialPortList.h"

#include <fcntl.h>
#include <libserialport.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace verup {
namespace {

std::string Text(const char* text) { return text != nullptr ? text : ""; }

const char* TransportName(sp_transport transport)
{
    switch (transport) {
    case SP_TRANSPORT_NATIVE: return "native";
    case SP_TRANSPORT_USB: return "usb";
    case SP_TRANSPORT_BLUETOOTH: return "bluetooth";
    }
    return "unknown";
}

// The driver the kernel bound to the tty's device (sysfs), e.g. "ftdi_sio" or "serial8250".
// Newer kernels put a generic port layer (bus serial-base) between the tty and its hardware:
// that layer's drivers say nothing, so the walk goes up past them.
std::string DriverOf(const std::string& path)
{
    const std::string name = std::filesystem::path(path).filename().string();
    std::error_code ec;
    std::filesystem::path device = std::filesystem::canonical("/sys/class/tty/" + name + "/device", ec);
    for (int level = 0; level < 4 && !ec; ++level) {
        const auto driver = std::filesystem::read_symlink(device / "driver", ec);
        if (ec)
            return {};
        if (driver.string().find("/serial-base/") == std::string::npos)
            return driver.filename().string();
        device = device.parent_path();
    }
    return {};
}

std::vector<std::string> StableNamesOf(const std::string& path)
{
    std::vector<std::string> names;
    std::error_code ec;
    const std::filesystem::path target = std::filesystem::canonical(path, ec);
    if (ec)
        return names;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/serial/by-id", ec)) {
        std::error_code link_ec;
        if (std::filesystem::canonical(entry.path(), link_ec) == target && !link_ec)
            names.push_back(entry.path().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

PortAccessResult Refused(int error)
{
    switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV: return {PortAccess::Missing, "no such port"};
    case EBUSY:
    case EWOULDBLOCK: return {PortAccess::Busy, "used by another program; close it, or pick another port"};
    case EACCES:
    case EPERM:
        return {PortAccess::NoPermission,
                "permission denied: add this user to the dialout group (sudo usermod -aG dialout $USER), "
                "then log out and in again"};
    default: return {PortAccess::Failed, std::strerror(error)};
    }
}

// /dev/ttyS2 before /dev/ttyS10: by the name without its number, then by the number.
bool NaturalLess(const std::string& a, const std::string& b)
{
    auto split = [](const std::string& s) {
        std::size_t digits = s.size();
        while (digits > 0 && s[digits - 1] >= '0' && s[digits - 1] <= '9')
            --digits;
        const std::string number = s.substr(digits);
        return std::make_pair(s.substr(0, digits), number.empty() ? -1L : std::stol(number.substr(0, 9)));
    };
    return split(a) < split(b);
}

}  // namespace

PortAccessResult CheckPortAccess(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Refused(errno);
    PortAccessResult result{PortAccess::Usable, {}};
    if (!::isatty(fd))
        result = {PortAccess::NotSerial, "not a serial port"};
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        result = Refused(errno == EWOULDBLOCK ? EBUSY : errno);
    ::close(fd);
    return result;
}

std::vector<SerialPortInfo> ListSerialPorts()
{
    std::vector<SerialPortInfo> ports;
    sp_port** list = nullptr;
    if (sp_list_ports(&list) != SP_OK || list == nullptr)
        return ports;
    for (sp_port** p = list; *p != nullptr; ++p) {
        SerialPortInfo info;
        info.Path = Text(sp_get_port_name(*p));
        info.Description = Text(sp_get_port_description(*p));
        const sp_transport transport = sp_get_port_transport(*p);
        info.Transport = TransportName(transport);
        if (transport == SP_TRANSPORT_USB) {
            int vid = -1;
            int pid = -1;
            if (sp_get_port_usb_vid_pid(*p, &vid, &pid) == SP_OK) {
                info.UsbVendorId = vid;
                info.UsbProductId = pid;
            }
            info.UsbManufacturer = Text(sp_get_port_usb_manufacturer(*p));
            info.UsbProduct = Text(sp_get_port_usb_product(*p));
            info.UsbSerial = Text(sp_get_port_usb_serial(*p));
        }
        info.Driver = DriverOf(info.Path);
        info.StableNames = StableNamesOf(info.Path);
        info.Access = CheckPortAccess(info.Path);
        ports.push_back(std::move(info));
    }
    sp_free_port_list(list);
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortInfo& a, const SerialPortInfo& b) { return NaturalLess(a.Path, b.Path); });
    return ports;
}

std::vector<std::string> UsbSerialPortPaths()
{
    std::vector<std::string> paths;
    sp_port** list = nullptr;
    if (sp_list_ports(&list) != SP_OK || list == nullptr)
        return paths;
    for (sp_port** p = list; *p != nullptr; ++p)
        if (sp_get_port_transport(*p) == SP_TRANSPORT_USB)
            paths.push_back(Text(sp_get_port_name(*p)));
    sp_free_port_list(list);
    std::sort(paths.begin(), paths.end(), NaturalLess);
    return paths;
}

}  // namespace verup
