#pragma once
// What the simulated device is told at start: its identity, its restart time, where it keeps
// its state, and the faults it is to show.
#include <cstdint>
#include <array>
#include <string>
#include <vector>

namespace devsim {

// The Nth command (1-based) whose text begins with `Command` (letter case ignored).
struct CountedFault {
    std::string Command;
    int N = 0;
};

struct FaultPlan {
    std::vector<CountedFault> NoReply;     // command swallowed: no reply at all
    std::vector<CountedFault> ErrorWord;   // "ERROR!" in place of the reply
    std::vector<CountedFault> KanjiError;  // the CP932 error word in place of the reply
    int DlError = 0;           // Nth telnet download block answered "\r\nDL.ERROR"
    int BadUploadFcs = 0;      // Nth upload sent with a corrupted FCS
    int DropMidBlock = 0;      // Nth download block: connection dropped half way
    int StreamErrorLine = 0;   // monitor streaming: "ERROR!" at this line, once
    bool NoReturn = false;     // a restart never ends
    int ReturnAfter = 0;       // after a restart, this many connections / probes go unanswered
    std::string VersionOverride;  // running version after a program was written
    bool RefuseLogin = false;
    int64_t ReplyDelayMs = 0;  // device ms before every reply
    bool SavedataNotSaved = false;  // "savedata restart" answered and restarted, nothing stored
    // Telnet: prompts end in a blank that goes out only once the next command arrives, so it
    // lands in the next reply (a later TCP segment than the "#").
    bool LatePromptBlank = false;
    // Telnet: an upload's reply goes out in 16 KiB segments this many device ms apart.
    int64_t UploadSegmentMs = 0;
};

// One settings item of a fresh device set to a text of the test's choosing.
struct SettingsItemEdit {
    int Block = 0;
    int Item = 0;
    std::string Text;
};

// Where the device is when the simulator starts: where a killed run may have left it.
enum class StartLevel {
    Firmware,      // the running firmware's AT interpreter
    Shell,         // the firmware's shell, after "ATT1\r"
    Monitor,       // the boot monitor at "F1>"
    FlashMonitor,  // the flash monitor at "F-ROM>", after "FROM"
    Download,      // the flash monitor taking a program download, half a record received
};

struct DeviceOptions {
    // Running firmware of a fresh device, and its revision.
    std::string FirmwareVersion = "Version 1.10";
    int Revision = 3;
    // Identification word in "ati" and the telnet banner; empty = the package's KIKI1.
    std::string Product;
    std::string TelnetServerVersion = "Version 2.00";
    // MAC address of Eth0; Eth1, WL0 and Usb0 follow it (last byte +1, +2, +3). A fleet of
    // simulated devices gives each its own.
    std::string Mac = "00:80:6D:73:00:10";
    // Device ms from a restart command until the device answers again.
    int64_t RestartMs = 4000;
    // Flash image kept across runs; empty = in memory only.
    std::string StatePath;
    // Inspection: the state file is read, never written (without one: the fresh device).
    bool ReadOnly = false;
    // The level the device starts at (the flash is whatever the state file holds).
    StartLevel StartIn = StartLevel::Firmware;
    // Items of a fresh device's settings (and so of its settings area 31) set to these texts.
    std::vector<SettingsItemEdit> SettingsItems;
    FaultPlan Faults;
};

// "CMD:N" as the fault flags take it; false when malformed.
bool ParseCountedFault(const std::string& text, CountedFault& out);
// "XX:XX:XX:XX:XX:XX" (hex, either case) whose last byte leaves room for the three that follow;
// false when malformed.
bool ParseMac(const std::string& text, std::array<uint8_t, 6>& out);
// "B.I=TEXT" as --settings-item takes it; false when malformed.
bool ParseSettingsItemEdit(const std::string& text, SettingsItemEdit& out);

}  // namespace devsim
