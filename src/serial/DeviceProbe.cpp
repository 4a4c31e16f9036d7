// Waking the device, finding out which interpreter answers, sending a running firmware into
// its flash monitor, and reading the firmware's identity and version.

#include "app/CUpdateDlg.h"
#include "protocol/NamesProduct.h"
#include "protocol/ReplyText.h"
#include "serial/SerialCommands.h"
#include "serial/SerialLink.h"

namespace verup {
namespace {

using namespace serial_cmd;

bool Contains(const std::string& text, std::string_view word)
{
    return FindText(text, word) > 0;
}

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

int CUpdateDlg::ProbeDevice(int enter_flash_mode)
{
    CommandChannel& ch = Channel;
    const auto monitor_prompt_seen = [&] { return Contains(ch.ReplyBuffer, MONITOR_PROMPT); };
    const auto flash_prompt_seen = [&] { return Contains(ch.ReplyBuffer, FROM_PROMPT); };

    // A boot monitor shows its prompt for these; the firmware ignores them. Each is sent once
    // so that the prompt stays in the reply text. A monitor already at its flash-monitor level
    // (an earlier probe sent "FROM") answers with "F-ROM>" and is where the probe would take it.
    ch.SerialCommand(WAKE_A, WAKE_TIMEOUT_MS, RK_OK, true);
    ch.SerialCommand(WAKE_XON, WAKE_TIMEOUT_MS, RK_OK, true);
    ch.SerialCommand(WAKE_A, WAKE_TIMEOUT_MS, RK_OK, true);
    if (monitor_prompt_seen())
        return ch.SerialCommand(FROM, FROM_TIMEOUT_MS, RK_FROM_PROMPT) > 0 ? PROBE_FLASH_MONITOR : PROBE_NONE;
    if (flash_prompt_seen())
        return PROBE_FLASH_MONITOR;

    if (ch.SerialCommand(IDENTIFY, IDENTIFY_TIMEOUT_MS, RK_OK) <= 0) {
        // A run that was killed can leave the device in its shell, which refuses the AT
        // command, or in a monitor download, which takes every line as a record. One bare
        // line shows the shell's prompt; the shell is left with "exit".
        ch.SerialCommand(NUDGE, LOOK_TIMEOUT_MS, RK_SHELL_PROMPT, true);
        if (Contains(ch.ReplyBuffer, SHELL_PROMPT_TEXT)) {
            Report(-1, "shell left open: exit\r\n");
            ch.SerialCommand(SHELL_EXIT, SHELL_TIMEOUT_MS, RK_OK);
            if (ch.SerialCommand(IDENTIFY, IDENTIFY_TIMEOUT_MS, RK_OK) <= 0)
                return PROBE_NONE;
        } else {
            // A termination record ends a download (nothing reaches the flash without a write
            // command); anywhere else it is refused. Then the monitor answers a wake-up.
            ch.SerialCommand(END_DOWNLOAD, WAKE_TIMEOUT_MS, RK_FROM_PROMPT, true);
            ch.SerialCommand(WAKE_A, WAKE_TIMEOUT_MS, RK_OK, true);
            if (!monitor_prompt_seen() && !flash_prompt_seen())
                return PROBE_NONE;
            Report(-1, "monitor found after the identification failed\r\n");
            if (flash_prompt_seen())
                return PROBE_FLASH_MONITOR;
            return ch.SerialCommand(FROM, FROM_TIMEOUT_MS, RK_FROM_PROMPT) > 0 ? PROBE_FLASH_MONITOR : PROBE_NONE;
        }
    }
    if (enter_flash_mode == 0)
        return PROBE_FIRMWARE;

    ch.SerialCommand(ENTER_MONITOR, ENTER_MONITOR_TIMEOUT_MS, RK_F0_PROMPT, true);
    if (Serial)
        Serial->Reopen(ComPortName, MONITOR_RESTART_PAUSE_MS);
    ch.SerialCommand(WAKE_A, WAKE_TIMEOUT_MS, RK_OK, true);
    ch.SerialCommand(WAKE_XON, WAKE_TIMEOUT_MS, RK_OK, true);
    const auto in_flash_monitor = [&] {
        if (monitor_prompt_seen())
            return ch.SerialCommand(FROM, FROM_CYCLE_TIMEOUT_MS, RK_FROM_PROMPT) > 0;
        return Contains(ch.ReplyBuffer, FROM_PROMPT);
    };
    for (int cycle = 0; cycle < MONITOR_PROMPT_CYCLES; ++cycle) {
        ch.SerialCommand(WAKE_A, WAKE_TIMEOUT_MS, RK_OK, true);
        if (in_flash_monitor())
            break;
        clock.SleepMs(MONITOR_CYCLE_PAUSE_MS);
        ch.SerialCommand(WAKE_S, WAKE_TIMEOUT_MS, RK_OK, true);
        if (in_flash_monitor())
            break;
        clock.SleepMs(MONITOR_CYCLE_PAUSE_MS);
    }
    // Also without the monitor's prompt: the next monitor command then fails.
    return PROBE_FIRMWARE;
}

int CUpdateDlg::QueryVersion(std::string& out)
{
    CommandChannel& ch = Channel;
    if (ch.SerialCommand(PRODUCT, QUERY_TIMEOUT_MS, RK_OK) == 0)
        return -1;
    if (!NamesProduct(ch.ReplyBuffer, cfg))
        return -2;  // another device answered
    Device.ProductWord = NamedProduct(ch.ReplyBuffer, cfg);
    if (ch.SerialCommand(VERSION, QUERY_TIMEOUT_MS, RK_OK) == 0)
        return -1;
    // Example: "at%i2\r\r\nVersion 1.20 2026/04/01\r\n\r\nOK\r\n" with NUM_LEN 12 gives "Version 1.20".
    std::optional<std::string> text = TextFrom(ch.ReplyBuffer, VERSION_MARK, cfg.NUM_LEN);
    if (!text)
        return -2;
    out = std::move(*text);
    return 1;
}

int CUpdateDlg::QueryDeviceInfo()
{
    if (Channel.Transact(SHOW_VERSION, QUERY_TIMEOUT_MS, RK_SHELL_PROMPT) == 0)
        return -1;
    std::string reply = Channel.ReplyBuffer.substr(0, Channel.ReplyBuffer.find('\0'));
    // The prompt answering the lone "\r" before may come late and end this exchange before the
    // device has listed anything; the command is then asked once more (it changes nothing).
    if (!PromptAfterEcho(reply) && Channel.Transact(SHOW_VERSION, QUERY_TIMEOUT_MS, RK_SHELL_PROMPT) != 0)
        reply = Channel.ReplyBuffer.substr(0, Channel.ReplyBuffer.find('\0'));
    Device.FirmwareVersionText = DeviceInfoValue(reply, "Farmware");
    Device.HttpServerText = DeviceInfoValue(reply, "HTTP Server");
    Device.TelnetServerVersionText = DeviceInfoValue(reply, "TELNET Server");
    Device.Eth1MacText = DeviceInfoValue(reply, "Eth1 Mac Address");
    Device.Eth0MacText = DeviceInfoValue(reply, "Eth0 Mac Address");
    const std::string wireless = DeviceInfoValue(reply, "WL0 Version");
    Device.Wl0MacText = DeviceInfoValue(reply, "WL0 Mac Address");
    if (wireless.empty() && FindText(reply, "WL0 Version") == 0)
        Device.Wl0VersionText.clear();
    else
        Device.Wl0VersionText = FindText(wireless, "unknown") > 0 ? wireless : VERSION_MARK + wireless;
    Device.Usb0MacText = DeviceInfoValue(reply, "Usb0 Mac Address");
    return 0;
}

}  // namespace verup
