#include "ui/IsValidAddress.h"

#include <gtest/gtest.h>

#include <ostream>

namespace verup {
namespace {

struct AddressCase {
    const char* text;
    int verdict;
};

// The case's text, so that each case keeps its name from one build to the next.
void PrintTo(const AddressCase& c, std::ostream* os)
{
    *os << '"' << c.text << '"';
}

class IsValidAddressTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(IsValidAddressTest, GivesItsVerdict)
{
    EXPECT_EQ(IsValidAddress(GetParam().text), GetParam().verdict) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, IsValidAddressTest,
    ::testing::Values(
        AddressCase{"255.255.255.254", ADDRESS_ACCEPTABLE}, AddressCase{"010.001.1.1", ADDRESS_ACCEPTABLE},
        AddressCase{"", ADDRESS_ACCEPTABLE},
        // A trailing dot ends the scan after four octets; a slash with nothing after it leaves
        // the address to be checked.
        AddressCase{"1.2.3.4.", ADDRESS_ACCEPTABLE}, AddressCase{"192.168.1.10/", ADDRESS_ACCEPTABLE},
        AddressCase{"/", ADDRESS_NOT_FOUR_OCTETS},
        AddressCase{"192.168.1.10 ", ADDRESS_BAD_CHARACTER}, AddressCase{"-1.2.3.4", ADDRESS_BAD_CHARACTER},
        // A full-width digit in CP932 is two bytes outside the allowed set.
        AddressCase{"\x82\x50.2.3.4", ADDRESS_BAD_CHARACTER},
        // Letters are refused before the mask is looked at.
        AddressCase{"1.2.3.4/a", ADDRESS_BAD_CHARACTER},
        AddressCase{"192.168.1.10/24", ADDRESS_HAS_MASK}, AddressCase{"/24", ADDRESS_HAS_MASK},
        AddressCase{"1.2.3.4//", ADDRESS_HAS_MASK},
        AddressCase{"192.168.1", ADDRESS_NOT_FOUR_OCTETS}, AddressCase{"1.2.3.4.5", ADDRESS_NOT_FOUR_OCTETS},
        AddressCase{".1.2.3.4", ADDRESS_NOT_FOUR_OCTETS}, AddressCase{"1.2..3.4", ADDRESS_NOT_FOUR_OCTETS},
        AddressCase{".", ADDRESS_NOT_FOUR_OCTETS}, AddressCase{"1.1.1.256", ADDRESS_NOT_FOUR_OCTETS},
        AddressCase{"1.1.1.99999999999999999999999", ADDRESS_NOT_FOUR_OCTETS},
        // 2^32 + 1 must not wrap into range.
        AddressCase{"4294967297.1.1.1", ADDRESS_NOT_FOUR_OCTETS},
        AddressCase{"000.0.00.0", ADDRESS_ALL_ZERO_OR_ONES}, AddressCase{"255.255.255.255.", ADDRESS_ALL_ZERO_OR_ONES}));

}  // namespace
}  // namespace verup
