#include "image/ConversionError.h"

#include <cstdio>

namespace verup {

std::string DescribeByte(unsigned char byte)
{
    char text[16];
    if (byte >= 0x20 && byte < 0x7F)
        std::snprintf(text, sizeof text, "'%c'", byte);
    else
        std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

std::string ConversionError::Describe() const
{
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": expected " + expected +
           ", found " + found;
}

}  // namespace verup
