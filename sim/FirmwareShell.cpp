#include "FirmwareShell.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace devsim {
namespace {

std::string Format(std::string_view pattern, int value)
{
    char text[128];
    std::snprintf(text, sizeof text, std::string(pattern).c_str(), value);
    return text;
}

// Reads a decimal number at `pos`, skipping blanks before it.
bool ReadNumber(std::string_view line, std::size_t& pos, int& value)
{
    while (pos < line.size() && line[pos] == ' ')
        ++pos;
    const std::size_t start = pos;
    while (pos < line.size() && std::isdigit(static_cast<unsigned char>(line[pos])))
        ++pos;
    if (pos == start || pos - start > 6)
        return false;
    value = std::atoi(std::string(line.substr(start, pos - start)).c_str());
    return true;
}

}  // namespace

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (auto& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string FaultText(FaultAction action)
{
    switch (action) {
    case FaultAction::ErrorWord: return "\r\n" + std::string(kErrorWord) + "\r\n";
    case FaultAction::KanjiError: return "\r\n" + std::string(kKanjiErrorWord) + "\r\n";
    default: return {};
    }
}

// Example of what the tool reads:
//   Farmware Version 1.10 3\r\n
//   TELNET Server Version 2.00\r\n
std::string FirmwareShell::ShowVersion()
{
    std::string text = "\r\n";
    text += "Farmware " + device_.VersionText() + "\r\n";
    text += "HTTP Server Version 1.02\r\n";
    text += "TELNET Server " + device_.TelnetServerVersion() + "\r\n";
    text += "Eth0 Mac Address " + device_.MacAddress(0) + "\r\n";
    text += "Eth1 Mac Address " + device_.MacAddress(1) + "\r\n";
    text += "WL0 Mac Address " + device_.MacAddress(2) + "\r\n";
    text += "WL0 Version 2.3.1\r\n";
    text += "Usb0 Mac Address " + device_.MacAddress(3);
    return text;
}

ShellReply FirmwareShell::Execute(std::string_view line)
{
    ShellReply r;
    const std::string lower = Lower(line);
    std::size_t pos = 0;
    int block = 0;
    int item = 0;

    if (lower == "show version") {
        r.Text = ShowVersion();
    } else if (lower.rfind("getdata", 0) == 0 && (pos = 7, ReadNumber(line, pos, block))) {
        // Every line ends in CR CR LF, so that the echo "getdata 3\r" plus "\r\n" does too.
        r.Text = "\r\n";
        const auto items = device_.GetBlock(block);
        if (!items) {
            r.Text += Format("load data_%d ng\r\n", block);
        } else {
            for (const auto& text : *items)
                r.Text += text + "\r\r\n";
            r.Text += Format(kLoadOk, block);
        }
    } else if (lower.rfind("putdata", 0) == 0 && (pos = 7, ReadNumber(line, pos, block)) && ReadNumber(line, pos, item) &&
               pos < line.size() && line[pos] == ' ') {
        // The value is everything after the blank that follows the item number (may be empty).
        const bool ok = device_.PutItem(block, item, std::string(line.substr(pos + 1)));
        r.Text = ok ? "\r\n" + Format("write data_%d ok\r\n", block) : "\r\n" + Format("write data_%d ng\r\n", block);
    } else if (lower.rfind("putdata", 0) == 0 && (pos = 7, ReadNumber(line, pos, block)) && ReadNumber(line, pos, item) &&
               pos == line.size()) {
        // "putdata 3 2" without the blank: an empty value as well.
        const bool ok = device_.PutItem(block, item, std::string());
        r.Text = ok ? "\r\n" + Format("write data_%d ok\r\n", block) : "\r\n" + Format("write data_%d ng\r\n", block);
    } else if (lower == "savedata restart") {
        device_.CommitSettings();
        r.Text = std::string(kWriteOkLine);
        r.Prompt = false;
        r.After = ShellReply::Then::Restart;
    } else if (lower.rfind("fromer", 0) == 0 && (pos = 6, ReadNumber(line, pos, block)) && pos == line.size()) {
        device_.Clock().SleepMs(kFlashEraseMs);
        r.Text = device_.EraseArea(block) ? std::string(kEraseOkLine) : "\r\nErase NG";
    } else if (lower == "restart reboot") {
        r.Prompt = false;
        r.After = ShellReply::Then::Restart;
    } else if (lower == "exit" && road_ == Road::Serial) {
        r.Text = "\r\nOK\r\n";
        r.Prompt = false;
        r.After = ShellReply::Then::LeaveShell;
    } else if (lower.empty()) {
        r.Text.clear();
    } else {
        r.Known = false;
        r.Text = "\r\ncommand not found";
    }
    return r;
}

}  // namespace devsim
