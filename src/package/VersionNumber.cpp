#include "package/VersionNumber.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "package/ConfigReader.h"

namespace verup {
namespace {

// "Version " precedes the number in every version text.
constexpr std::size_t kVersionNumberOffset = 8;

}  // namespace

double ReadVersionNumber(std::string_view text)
{
    if (text.size() <= kVersionNumberOffset)
        return 0.0;
    const std::string number(text.substr(kVersionNumberOffset));
    const double value = std::strtod(number.c_str(), nullptr);
    // strtod also reads "inf", "nan" and hexadecimal floats, which no version text holds.
    return std::isfinite(value) ? value : 0.0;
}

double ReadVersionNumber(std::string_view text, int num_len)
{
    return ReadVersionNumber(CutText(text, num_len));
}

int ReadRevision(const std::string& text, int num_len)
{
    const std::size_t after = static_cast<std::size_t>(std::max(num_len, 0)) + 1;
    const std::string rest = text.size() > after ? text.substr(after) : std::string();
    return static_cast<int>(std::strtol(rest.c_str(), nullptr, 10));
}

}  // namespace verup
