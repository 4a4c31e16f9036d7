#pragma once
// What the simulated device holds, as `verup-devsim inspect` prints it.
#include <string>

#include "SimDevice.h"

namespace devsim {

// Mode, running (or startable) version, every written flash area with its word sum, and
// the saved settings block by block with escaped items.
std::string DescribeDevice(SimDevice& device);

// Writes flash area `area` (raw bytes) to `path`.
bool DumpArea(SimDevice& device, int area, const std::string& path, std::string* error);

}  // namespace devsim
