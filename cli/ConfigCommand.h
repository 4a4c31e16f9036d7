#pragma once
// `verup config`: every configuration value as the start-up reads it, the derived texts, the
// package check and, for a given device version, the settings decision.
#include <nlohmann/json.hpp>
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
    bool Json = false;                           // the report as one JSON document, the text on stderr
};

// Writes the report (UTF-8) to `out`; returns one of the exit codes above.
// With `report`, the same facts go there as JSON.
int RunConfigCommand(const ConfigOptions& options, std::ostream& out, nlohmann::json* report = nullptr);

}  // namespace verup::cli
