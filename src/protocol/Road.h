#pragma once
// A way to the device: the serial line or the LAN. Each road owns its link and the command
// channel over it; the settings carrier and the update sequences talk through this.
#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/CommandChannel.h"

namespace verup {

class Road {
public:
    virtual ~Road() = default;

    virtual CommandChannel& Channel() = 0;
    // The firmware's command shell made ready for settings commands: entered with "ATT1" on
    // the serial line, logged in (again, after a restart) over the LAN. False with `problem`.
    virtual bool EnterShell(std::string& problem) = 0;
    // Leaves what EnterShell entered.
    virtual void LeaveShell() = 0;
    // Whole flash areas move only over the LAN; the serial road answers -2 (no data).
    virtual int UploadArea(std::uint8_t* buffer, std::size_t length, int area) = 0;
    virtual int DownloadArea(const std::uint8_t* data, std::size_t length, int area) = 0;
};

}  // namespace verup
