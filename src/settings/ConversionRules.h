#pragma once
// The two value rules applied while the old firmware's settings are dealt out to the new
// firmware's blocks.
#include <string>
#include <string_view>

namespace verup {

// As atoi reads: optional leading white space, an optional sign, then the decimal digits up
// to the first other character ("65535", "65535 x" and " +65535" read 65535; "0xffff" reads 0).
// Values beyond the range of long are clamped.
long ReadLeadingNumber(std::string_view text);

// Example record of block 37 (fields separated by the byte 0x01):
//   "1\x01" "a\x01" "b\x01" "c\x01" "d\x01" "e\x01" "65535\x01" "f\x01" "g\x01" "h\x01" "65535"
// becomes the same record with "-1" as its 7th and 11th field.
// A record that is not exactly eleven fields of one word each (a missing or empty field,
// blanks inside a field, a field over 63 bytes, extra fields) is returned unchanged: the
// rule cannot rebuild it without dropping or shifting data.
std::string ConvertRecordItem(std::string_view record);

// The value of item `item` of new block `block` as the new firmware expects it.
std::string ApplyConversionRules(int block, int item, std::string text);

}  // namespace verup
