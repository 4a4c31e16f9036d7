#pragma once
// The device's fixed flash areas, the same for every package: the boot area with the flash
// monitor, and the settings area that the LAN road reads and writes whole.
#include <cstddef>

namespace verup {

inline constexpr int kBootArea = 0;
inline constexpr int kSettingsArea = 31;
inline constexpr std::size_t kSettingsAreaBytes = 65536;

}  // namespace verup
