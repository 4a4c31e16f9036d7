#pragma once
// The device's serial port: a pseudo-terminal whose slave side the tool opens as its COM
// port. Speaks the firmware's AT interpreter and shell, and the boot monitor, with the bytes
// the device sends; survives the tool closing and reopening the port.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "FirmwareShell.h"
#include "SimDevice.h"

namespace devsim {

struct SerialOptions {
    // Output and input at 115200 baud 8N1 (10 bits a byte) in device time.
    bool BaudPacing = false;
    // A symbolic link to the slave side, made at start and removed at stop.
    std::string LinkPath;
};

class SerialFrontEnd {
public:
    SerialFrontEnd(SimDevice& device, SerialOptions options);
    ~SerialFrontEnd();
    SerialFrontEnd(const SerialFrontEnd&) = delete;
    SerialFrontEnd& operator=(const SerialFrontEnd&) = delete;

    bool Start(std::string* error);
    void Stop();
    const std::string& SlavePath() const { return slave_path_; }

private:
    enum class State {
        At,        // AT interpreter
        Shell,     // after "ATT1\r"
        F1,        // boot monitor, "F1>"
        FlashMon,  // flash monitor, "F-ROM>"
        Drain,     // flash monitor after "ERROR!": lines still streaming in are dropped
        Download,  // S-record lines after "DL\r" / "DP\r"
    };

    void Run();
    void ResetSession();
    // The first session begins at the level the device was told to start at.
    void EnterStartLevel();
    void OnByte(uint8_t byte);
    void OnAtLine(const std::string& line);
    void OnShellLine(const std::string& line);
    void OnMonitorLine(const std::string& line);
    void OnDownloadLine(const std::string& line);
    void FinishDownload(bool ok);

    // Echo (no delay) and replies (after --reply-delay).
    void Echo(std::string_view bytes);
    void Reply(std::string_view bytes);
    void Write(std::string_view bytes);
    void DropStaleOutput();
    void Pace(std::size_t bytes, std::chrono::steady_clock::time_point& cursor);

    SimDevice& device_;
    SerialOptions options_;
    FirmwareShell shell_;
    int master_ = -1;
    std::string slave_path_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    bool slave_open_ = false;
    std::chrono::steady_clock::time_point out_cursor_{}, in_cursor_{};

    uint64_t session_boot_ = 0;
    State state_ = State::At;
    std::string line_;
    bool program_download_ = false;  // "DP" (RAM) rather than "DL" (sector buffer)
    std::vector<uint8_t> sector_buffer_;  // what "DL" loaded
    std::vector<uint8_t> write_buffer_;   // what "MP" prepared for "WR"
};

}  // namespace devsim
