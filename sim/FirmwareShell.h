#pragma once
// The running firmware's command shell, as both roads reach it: over the serial line after
// "ATT1\r", and in the telnet session after the login. The roads echo, add their prompts and
// carry out what the reply asks for afterwards (restart, leave the shell).
#include <string>
#include <string_view>

#include "SimDevice.h"

namespace devsim {

// Protocol words of the shell.
inline constexpr std::string_view kLoadOk = "load data_%d ok\r\n";
inline constexpr std::string_view kEraseOkLine = "\r\nErase OK";
inline constexpr std::string_view kWriteOkLine = "\r\nWrite OK";
// "エラー" in CP932.
inline constexpr std::string_view kKanjiErrorWord = "\x83\x47\x83\x89\x81\x5b";
inline constexpr std::string_view kErrorWord = "ERROR!";
// Device ms an erase or a write of one flash area takes.
inline constexpr int64_t kFlashEraseMs = 150;
inline constexpr int64_t kFlashWriteMs = 150;

enum class Road { Serial, Telnet };

struct ShellReply {
    enum class Then { Nothing, Restart, LeaveShell };
    bool Known = true;      // false: not a shell command (the road may know it)
    std::string Text;       // reply before the prompt
    bool Prompt = true;     // the road's prompt follows the text
    Then After = Then::Nothing;
};

class FirmwareShell {
public:
    FirmwareShell(SimDevice& device, Road road) : device_(device), road_(road) {}

    // One command line without its CR.
    ShellReply Execute(std::string_view line);

    // "show version" as the tool reads it: each label, one separator blank, the value, CR LF.
    std::string ShowVersion();

private:
    SimDevice& device_;
    Road road_;
};

// Lower-case copy, for matching command words.
std::string Lower(std::string_view text);
// The reply a fault puts in place of a command's reply (before the road's terminator).
std::string FaultText(FaultAction action);

}  // namespace devsim
