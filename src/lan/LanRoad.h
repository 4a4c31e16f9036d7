#pragma once
// The LAN road: the telnet connection to the device's firmware, its command channel, the
// login, and the "download" and "upload" commands that move flash areas.
#include <cstddef>
#include <cstdint>
#include <string>

#include "lan/TelnetLink.h"
#include "protocol/Road.h"
#include "protocol/RoadContext.h"

namespace verup {

// How a connection attempt ended (ConnectDevice's numbers).
enum class LanConnect : int {
    LoggedIn = 1,
    NoAnswer = 0,       // no echo reply, or no connection
    NoLogin = -1,       // no login outcome in time
    WrongProduct = -2,  // another product answered
    Refused = -3,       // a password was refused
};

class LanRoad final : public Road {
public:
    // `port` is the device's telnet port (23; another for the simulator).
    LanRoad(RoadContext context, std::uint16_t port);
    ~LanRoad() override;
    LanRoad(const LanRoad&) = delete;
    LanRoad& operator=(const LanRoad&) = delete;

    TelnetLink& Link() { return link_; }
    CommandChannel& Channel() override { return channel_; }
    // The device's address as the user gave it.
    std::string DeviceAddress;

    // Echo check (mode 1: 11 tries, mode 2: 32, 0: a pause instead), connection and login.
    [[nodiscard]] LanConnect ConnectDevice(const std::string& address, int mode);
    // ConnectDevice up to RETRY times while no login outcome came in time (the link closed
    // after each); counts those tries in `failures`. NoAnswer when no try was allowed.
    [[nodiscard]] LanConnect ConnectWithRetries(const std::string& address, int mode, int* failures = nullptr);
    // 1 taken; -1 "mode crc" unanswered; -2 no try delivered the block.
    int DownloadBlock(const std::uint8_t* data, std::size_t length, int area);
    int DownloadArea(const std::uint8_t* data, std::size_t length, int area) override;
    int UploadArea(std::uint8_t* buffer, std::size_t length, int area) override;

    bool EnterShell(std::string& problem) override;
    void LeaveShell() override {}

private:
    // The link's notifications: 1 connected, 2 negotiation answered (logged).
    void OnSocketNotify(int result);
    // The login after the password prompt, on the connecting thread: LOGIN_DONE, or why not.
    int Login();

    RoadContext ctx_;
    TelnetLink link_;
    CommandChannel channel_;
};

}  // namespace verup
