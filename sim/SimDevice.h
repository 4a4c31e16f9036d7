#pragma once
// The simulated NEXAVO7300QB behind both of its roads: flash areas, the boot monitor's RAM,
// the settings, the running firmware (read from the program in flash at every start) and
// the restarts. Thread-safe: the serial and the telnet side may use it at the same time.
#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "DeviceProfile.h"
#include "SettingsImage.h"
#include "SimOptions.h"
#include "platform/Clock.h"

namespace devsim {

enum class RunMode {
    Firmware,    // the program in flash runs: AT interpreter, shell, telnet server
    Monitor,     // the boot monitor: "F1>", then "F-ROM>"
    Restarting,  // silent until the restart time has passed
};

const char* RunModeName(RunMode mode);

// What a command fault asks the road to do instead of the command.
enum class FaultAction { None, NoReply, ErrorWord, KanjiError };

class SimDevice {
public:
    static constexpr int kAreaCount = 32;
    static constexpr int kSettingsArea = 31;
    static constexpr int kBootArea = 0;

    SimDevice(DeviceProfile profile, DeviceOptions options, const verup::Clock& clock);

    // Loads the state file (when set and present) or builds a fresh device, then starts it
    // (unless `boot` is false: inspection looks at the flash as it lies).
    bool PowerOn(std::string* error, bool boot = true);

    const DeviceProfile& Profile() const { return profile_; }
    const DeviceOptions& Options() const { return options_; }
    const verup::Clock& Clock() const { return clock_; }

    // ---- power and restarts
    RunMode Mode();
    // Counts every start; a road resets its session when the count changes.
    uint64_t BootCount();
    // Ends a restart whose time has come. Every road calls it while it polls.
    void Tick();
    // Restart now: into the boot monitor, or into whatever flash holds.
    void Restart(bool into_monitor);
    // True when this connection or probe is to go unanswered (--return-after).
    bool TakeRefusal();

    // ---- identity of the running firmware
    std::string VersionText();   // "Version 1.10 3"
    std::string ProductWord();   // the identification word
    std::string TelnetServerVersion() const { return options_.TelnetServerVersion; }
    // The MAC address of interface `offset` (0 Eth0, 1 Eth1, 2 WL0, 3 Usb0), upper case.
    std::string MacAddress(int offset) const;

    // ---- flash
    std::vector<uint8_t> Area(int area);
    bool AreaErased(int area);
    bool EraseArea(int area);
    // Erases the area, then programs `data` from its start (the firmware's "fromwr").
    bool ReplaceArea(int area, std::span<const uint8_t> data);
    // Programs bytes into an area as flash does: bits only go from 1 to 0.
    bool ProgramArea(int area, std::size_t offset, std::span<const uint8_t> data);
    // Overwrites a range, erasing it first (the monitor's FPGA writes).
    bool RewriteRange(int area, std::size_t offset, std::span<const uint8_t> data);
    // The program area as assembled from areas 1, 2, ...
    std::vector<uint8_t> ProgramInFlash();

    // ---- boot monitor RAM (the program area) and its checksums
    void ClearRam();
    bool StoreRam(std::size_t offset, std::span<const uint8_t> data);
    // "ms/w": a little-endian word at a RAM address.
    bool WriteRamWord(uint32_t address, uint16_t value);
    std::vector<uint8_t> RamSector(int sector);
    // (65536 - word sum) mod 65536: what "cs" shows; 0 for a proper program.
    uint16_t FlashChecksum();
    uint16_t RamChecksum();

    // ---- settings (the running firmware's copy; area 31 holds the saved one)
    std::optional<std::vector<std::string>> GetBlock(int block);
    bool PutItem(int block, int item, std::string text);
    bool CommitSettings();
    // Decoded area 31 (what survives a restart), nullopt when it holds none.
    std::optional<SettingsImage> SavedSettings();

    // ---- commands and faults
    // Logs a received command and says whether a fault replaces it.
    FaultAction OnCommand(std::string_view road, std::string_view line);
    void Log(std::string_view road, std::string_view text);
    std::vector<std::string> CommandLog();
    bool NextDownloadFails();
    bool NextDownloadDrops();
    bool NextUploadBadFcs();
    // Counts a streamed monitor line; true once, at --stream-error's line.
    bool StreamLineFails();

    // Writes the state file now (atomically); true when there is none to write.
    bool SaveState();

private:
    std::size_t SectorBytes() const { return profile_.SectorBytes(); }
    bool ValidArea(int area) const { return area >= 0 && area < kAreaCount; }
    bool ValidRange(int area, std::size_t offset, std::size_t size) const
    {
        return ValidArea(area) && offset <= SectorBytes() && size <= SectorBytes() - offset;
    }
    void BuildFreshLocked();
    void BootLocked(bool into_monitor);
    std::vector<uint8_t> ProgramInFlashLocked() const;
    void FlashChangedLocked();
    void ReloadSettingsLocked();
    // New bytes in `area`: a program area counts as written, the settings area is read again.
    void AreaProgrammedLocked(int area);
    bool LoadStateLocked(std::string* error);
    bool SaveStateLocked();

    DeviceProfile profile_;
    DeviceOptions options_;
    const verup::Clock& clock_;

    std::mutex mutex_;
    std::array<std::vector<uint8_t>, kAreaCount> flash_;
    std::vector<uint8_t> ram_;
    RunMode mode_ = RunMode::Restarting;
    bool restart_into_monitor_ = false;
    int64_t up_at_ms_ = 0;
    uint64_t boots_ = 0;
    int refusals_left_ = 0;
    bool program_written_ = false;
    std::string version_text_;
    SettingsImage live_settings_;
    std::vector<std::string> log_;
    std::vector<int> no_reply_seen_, error_word_seen_, kanji_error_seen_;
    int downloads_seen_ = 0, drops_seen_ = 0, uploads_seen_ = 0;
    int stream_lines_ = 0;
    bool stream_error_done_ = false;
};

// Version number of "Version 1.10 3" (1.10); 0 when the text holds none.
double VersionNumber(std::string_view version_text);
// The version text a program carries: from "Version " up to the first byte that is not
// printable ASCII, at most 30 characters; empty when absent.
std::string FindVersionText(std::span<const uint8_t> program);

}  // namespace devsim
