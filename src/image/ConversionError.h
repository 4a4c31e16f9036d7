#pragma once
// Where a text could not be read, for the debug log and the command line.
#include <cstddef>
#include <string>

namespace verup {

struct ConversionError {
    std::size_t line = 0;    // 1-based; lines end at LF
    std::size_t column = 0;  // 1-based byte column within the line
    std::string expected;
    std::string found;

    // "line 12, column 9: expected hex digit 0-9 or A-F, found 'g'"
    std::string Describe() const;
};

// A byte as the error texts show it: 'S' for printable ASCII, 0x1A otherwise.
std::string DescribeByte(unsigned char byte);

}  // namespace verup
