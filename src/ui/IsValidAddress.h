#pragma once
// The address check of the serial-or-LAN connection dialog.
#include <string_view>

namespace verup {

inline constexpr int ADDRESS_ACCEPTABLE = 0;
inline constexpr int ADDRESS_BAD_CHARACTER = 1;     // a character other than "0123456789./"
inline constexpr int ADDRESS_HAS_MASK = 2;          // something after "/"
inline constexpr int ADDRESS_NOT_FOUR_OCTETS = 3;   // not four numbers of 0 ... 255
inline constexpr int ADDRESS_ALL_ZERO_OR_ONES = -1; // 0.0.0.0 or 255.255.255.255

// Example: "192.168.1.10" -> 0, "192.168.1.10/24" -> 2, "1..2.3" -> 3, "" -> 0.
// An empty piece (a leading dot, two dots in a row, a trailing dot) ends the scan, so
// "1.2.3.4." is accepted.
int IsValidAddress(std::string_view text);

}  // namespace verup
