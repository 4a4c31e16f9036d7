#pragma once
// printf into a std::string of the length it needs, for the commands and log lines built from
// a pattern and numbers.
#include <string>

#include "platform/PrintfFormat.h"

namespace verup {

std::string FormatText(const char* format, ...) VERUP_PRINTF_FORMAT(1, 2);

}  // namespace verup
