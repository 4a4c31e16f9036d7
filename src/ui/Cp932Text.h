#pragma once
// Length limits on CP932 texts that never split a two-byte character.
#include <cstddef>
#include <string>
#include <string_view>

namespace verup {

// Lead bytes of CP932 two-byte characters.
constexpr bool IsCp932LeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// The longest prefix of at most max_bytes bytes that ends on a character boundary.
std::string CutCp932(std::string_view text, std::size_t max_bytes);

}  // namespace verup
