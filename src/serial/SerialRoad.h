#pragma once
// The serial road: the device's serial line, its command channel, and the steps that work with
// the firmware's AT interpreter and the boot monitor (probe, version, device information, the
// restart wait, the checksums and the three image downloads).
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "protocol/Road.h"
#include "protocol/RoadContext.h"
#include "serial/MonitorResults.h"
#include "serial/SerialLink.h"

namespace verup {

class LineTable;

class SerialRoad final : public Road {
public:
    // On a serial port (opened with Port()->Open); a link of its own unless one is given.
    explicit SerialRoad(RoadContext context, std::unique_ptr<SerialLink> port = nullptr);
    // Commands over `link` instead (tests); the raw-line steps then have no port and fail.
    SerialRoad(RoadContext context, ExchangeLink& link);
    ~SerialRoad() override;
    SerialRoad(const SerialRoad&) = delete;
    SerialRoad& operator=(const SerialRoad&) = delete;

    // The port; null on a road over another link.
    SerialLink* Port() { return port_.get(); }
    const SerialLink* Port() const { return port_.get(); }
    CommandChannel& Channel() override { return channel_; }
    // The port's name as opened ("COM1", or a device path); the restarts reopen it.
    std::string ComPortName;

    // 0 nothing answered, 1 running firmware, 2 flash monitor (PROBE_*).
    int ProbeDevice(int enter_flash_mode);
    // 1 with the version text, -1 no answer, -2 another device or no version.
    int QueryVersion(std::string& out);
    [[nodiscard]] DeviceWait WaitForDevice(int pause_ms, int probe_flag);
    [[nodiscard]] ChecksumResult FixRamChecksum();
    [[nodiscard]] ChecksumResult CheckFlashChecksum();
    [[nodiscard]] TransferResult DownloadBootImage(int table);
    [[nodiscard]] TransferResult DownloadFpgaImage(int image);
    // Streams the program's text (`line_count` CR LF lines, ticked off per sector of
    // `sector_count`) to the flash monitor.
    [[nodiscard]] TransferResult DownloadProgram(std::string_view text, int line_count, int sector_count);

    bool EnterShell(std::string& problem) override;
    void LeaveShell() override;
    int UploadArea(std::uint8_t*, std::size_t, int) override { return -2; }
    int DownloadArea(const std::uint8_t*, std::size_t, int) override { return -2; }

    // TIMER_WATCHDOG of a download: the transfer state becomes 999.
    void OnWatchdog();
    int TransferState() const { return transfer_state_.load(); }

private:
    TransferResult StreamLineTable(const LineTable& table, int64_t watchdog_ms);

    RoadContext ctx_;
    std::unique_ptr<SerialLink> port_;
    CommandChannel channel_;
    std::atomic<int> transfer_state_{0};
};

}  // namespace verup
