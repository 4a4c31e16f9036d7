#pragma once
// What the start-up learnt about the device: how it answered the probe, its version texts,
// the labels of its servers and its MAC addresses (CP932, as the device sent them).
#include <string>

namespace verup {

inline constexpr int PROBE_NONE = 0;
inline constexpr int PROBE_FLASH_MONITOR = 1;
inline constexpr int PROBE_FIRMWARE = 2;

struct DeviceIdentity {
    int ProbeResult = -9;            // PROBE_*; -9 before the probe
    std::string CurrentVersionText;  // its version text cut to NUM_LEN, as shown
    std::string FirmwareVersionText; // its firmware line, possibly with the revision after it
    std::string TelnetServerText;
    std::string HttpServerText;
    std::string TelnetServerVersionText;
    std::string Eth1MacText;
    std::string Eth0MacText;
    std::string Wl0MacText;
    std::string Wl0VersionText;
    std::string Usb0MacText;
    std::string ProductWord;         // KIKI1 or KIKI2, whichever its identification named
};

}  // namespace verup
