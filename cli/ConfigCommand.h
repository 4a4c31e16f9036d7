#pragma once
// `verup config`: every configuration value as the start-up reads it, the derived texts, the
// package check and, for a given device version, the settings decision.
#include <optional>
#include <ostream>
#include <string>

namespace verup::cli {

// Exit codes of `verup config`.
inline constexpr int CONFIG_OK = 0;
inline constexpr int CONFIG_PACKAGE_REFUSED = 2;   // the start-up would refuse the package
inline constexpr int CONFIG_DEVICE_REFUSED = 3;    // the settings decision would end the start-up

struct ConfigOptions {
    std::string PackageDirectory;                // holds verup.dat and the images
    std::optional<std::string> DeviceVersion;    // e.g. "Version 1.10 3" (UTF-8 or ASCII)
};

// Writes the report (UTF-8) to `out`; returns one of the exit codes above.
int RunConfigCommand(const ConfigOptions& options, std::ostream& out);

}  // namespace verup::cli
