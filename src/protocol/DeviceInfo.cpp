// The firmware shell's "show version": the device's versions and MAC addresses, read the same
// way over the serial line and the LAN.
#include "protocol/DeviceInfo.h"

#include "protocol/ReplyText.h"

namespace verup {
namespace {

constexpr char SHOW_VERSION[] = "show version\r";
constexpr char SHELL_PROMPT_TEXT[] = "\r\n# ";
constexpr char VERSION_MARK[] = "Version ";
constexpr int64_t QUERY_TIMEOUT_MS = 3000;

// Longest device information value kept.
constexpr std::size_t DEVICE_INFO_VALUE_CHARS = 54;
constexpr int TOKEN_TO_CR = 7;

// Example "show version\r" reply (abridged):
//   "show version\r\r\nFarmware :Version 1.20 3\r\nHTTP Server :Version 2.01\r\n
//    Eth0 Mac Address :00:80:6d:12:34:56\r\nWL0 Version :unknown\r\n# "
// The value starts one character after the label and runs to the next CR.
std::string DeviceInfoValue(const std::string& reply, std::string_view label)
{
    const int at = FindText(reply, label);
    if (at == 0)
        return {};  // a missing label leaves the text empty
    const std::size_t start = static_cast<std::size_t>(at - 1) + label.size() + 1;
    if (start >= reply.size())
        return {};
    std::string value;
    GetToken(std::string_view(reply).substr(start), value, TOKEN_TO_CR);
    if (value.size() > DEVICE_INFO_VALUE_CHARS)
        value.resize(DEVICE_INFO_VALUE_CHARS);
    return value;
}

// Whether `reply` holds the shell's prompt after the echo of "show version".
bool PromptAfterEcho(const std::string& reply)
{
    const std::size_t echo = reply.find(std::string_view(SHOW_VERSION).substr(0, sizeof SHOW_VERSION - 2));
    return echo != std::string::npos && reply.find(SHELL_PROMPT_TEXT, echo) != std::string::npos;
}

}  // namespace

int QueryDeviceInfo(CommandChannel& channel, DeviceIdentity& device)
{
    if (channel.Transact(SHOW_VERSION, QUERY_TIMEOUT_MS, RK_SHELL_PROMPT) == 0)
        return -1;
    std::string reply = channel.ReplyBuffer.substr(0, channel.ReplyBuffer.find('\0'));
    // The prompt answering the lone "\r" before may come late and end this exchange before the
    // device has listed anything; the command is then asked once more (it changes nothing).
    if (!PromptAfterEcho(reply) && channel.Transact(SHOW_VERSION, QUERY_TIMEOUT_MS, RK_SHELL_PROMPT) != 0)
        reply = channel.ReplyBuffer.substr(0, channel.ReplyBuffer.find('\0'));
    device.FirmwareVersionText = DeviceInfoValue(reply, "Farmware");
    device.HttpServerText = DeviceInfoValue(reply, "HTTP Server");
    device.TelnetServerVersionText = DeviceInfoValue(reply, "TELNET Server");
    device.Eth1MacText = DeviceInfoValue(reply, "Eth1 Mac Address");
    device.Eth0MacText = DeviceInfoValue(reply, "Eth0 Mac Address");
    const std::string wireless = DeviceInfoValue(reply, "WL0 Version");
    device.Wl0MacText = DeviceInfoValue(reply, "WL0 Mac Address");
    if (wireless.empty() && FindText(reply, "WL0 Version") == 0)
        device.Wl0VersionText.clear();
    else
        device.Wl0VersionText = FindText(wireless, "unknown") > 0 ? wireless : VERSION_MARK + wireless;
    device.Usb0MacText = DeviceInfoValue(reply, "Usb0 Mac Address");
    return 0;
}

}  // namespace verup
