#include "ui/IsValidAddress.h"

#include <cstdint>

namespace verup {
namespace {

constexpr std::string_view kAllowedCharacters = "0123456789./";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal value of a run of digits, saturating well above 255 so long runs stay refused.
int64_t ReadOctet(std::string_view piece)
{
    int64_t value = 0;
    for (char c : piece) {
        if (!IsDigit(c))
            break;
        value = value * 10 + (c - '0');
        if (value > 100000)
            return value;
    }
    return value;
}

}  // namespace

int IsValidAddress(std::string_view text)
{
    if (text.empty())
        return ADDRESS_ACCEPTABLE;
    if (text.find_first_not_of(kAllowedCharacters) != std::string_view::npos)
        return ADDRESS_BAD_CHARACTER;

    std::string_view address = text;
    std::string_view mask;
    if (const auto slash = text.find('/'); slash != std::string_view::npos) {
        address = text.substr(0, slash);
        mask = text.substr(slash + 1);
    }
    if (!mask.empty())
        return ADDRESS_HAS_MASK;
    if (address.empty())
        return ADDRESS_NOT_FOUR_OCTETS;

    int octets[4] = {};
    int count = 0;
    std::string_view rest = address;
    while (!rest.empty()) {
        const auto dot = rest.find('.');
        const std::string_view piece = rest.substr(0, dot);
        if (piece.empty())
            break;
        const int64_t value = ReadOctet(piece);
        if (value > 255)
            return ADDRESS_NOT_FOUR_OCTETS;
        if (count == 4)
            return ADDRESS_NOT_FOUR_OCTETS;
        octets[count++] = static_cast<int>(value);
        if (dot == std::string_view::npos)
            break;
        rest = rest.substr(dot + 1);
    }
    if (count != 4)
        return ADDRESS_NOT_FOUR_OCTETS;

    const bool all_zero = octets[0] == 0 && octets[1] == 0 && octets[2] == 0 && octets[3] == 0;
    const bool all_ones = octets[0] == 255 && octets[1] == 255 && octets[2] == 255 && octets[3] == 255;
    if (all_zero || all_ones)
        return ADDRESS_ALL_ZERO_OR_ONES;
    return ADDRESS_ACCEPTABLE;
}

}  // namespace verup
