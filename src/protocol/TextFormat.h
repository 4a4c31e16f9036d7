#pragma once
// printf into a std::string of the length it needs, for the commands and log lines built from
// a pattern and numbers.
#include <string>

namespace verup {

std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace verup
