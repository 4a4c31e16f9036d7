#pragma once
// CP932 (Shift_JIS) <-> UTF-8, for display only; the tool keeps device and file texts as bytes.
#include <string>
#include <string_view>

namespace verup {

// Undecodable bytes become U+FFFD; never throws.
std::string Cp932ToUtf8(std::string_view cp932);
// Characters without a CP932 form become "?".
std::string Utf8ToCp932(std::string_view utf8);

}  // namespace verup
