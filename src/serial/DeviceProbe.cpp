// Waking the device, finding out which interpreter answers, sending a running firmware into
// its flash monitor, and reading the firmware's product word and version.

#include "serial/SerialRoad.h"
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

}  // namespace

int SerialRoad::ProbeDevice(int enter_flash_mode)
{
    CommandChannel& ch = channel_;
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
            ctx_.Log("shell left open: exit\r\n");
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
            ctx_.Log("monitor found after the identification failed\r\n");
            if (flash_prompt_seen())
                return PROBE_FLASH_MONITOR;
            return ch.SerialCommand(FROM, FROM_TIMEOUT_MS, RK_FROM_PROMPT) > 0 ? PROBE_FLASH_MONITOR : PROBE_NONE;
        }
    }
    if (enter_flash_mode == 0)
        return PROBE_FIRMWARE;

    ch.SerialCommand(ENTER_MONITOR, ENTER_MONITOR_TIMEOUT_MS, RK_F0_PROMPT, true);
    if (port_)
        port_->Reopen(ComPortName, MONITOR_RESTART_PAUSE_MS);
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
        ctx_.clock.SleepMs(MONITOR_CYCLE_PAUSE_MS);
        ch.SerialCommand(WAKE_S, WAKE_TIMEOUT_MS, RK_OK, true);
        if (in_flash_monitor())
            break;
        ctx_.clock.SleepMs(MONITOR_CYCLE_PAUSE_MS);
    }
    // Also without the monitor's prompt: the next monitor command then fails.
    return PROBE_FIRMWARE;
}

int SerialRoad::QueryVersion(std::string& out)
{
    CommandChannel& ch = channel_;
    if (ch.SerialCommand(PRODUCT, QUERY_TIMEOUT_MS, RK_OK) == 0)
        return -1;
    if (!NamesProduct(ch.ReplyBuffer, ctx_.cfg))
        return -2;  // another device answered
    ctx_.device.ProductWord = NamedProduct(ch.ReplyBuffer, ctx_.cfg);
    if (ch.SerialCommand(VERSION, QUERY_TIMEOUT_MS, RK_OK) == 0)
        return -1;
    // Example: "at%i2\r\r\nVersion 1.20 2026/04/01\r\n\r\nOK\r\n" with NUM_LEN 12 gives "Version 1.20".
    std::optional<std::string> text = TextFrom(ch.ReplyBuffer, VERSION_MARK, ctx_.cfg.NUM_LEN);
    if (!text)
        return -2;
    out = std::move(*text);
    return 1;
}

}  // namespace verup
