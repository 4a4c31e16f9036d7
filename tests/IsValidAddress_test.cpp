#include "ui/IsValidAddress.h"

#include <gtest/gtest.h>

namespace verup {
namespace {

TEST(IsValidAddress, AcceptsFourOctets)
{
    EXPECT_EQ(IsValidAddress("192.168.1.10"), ADDRESS_ACCEPTABLE);
    EXPECT_EQ(IsValidAddress("0.0.0.1"), ADDRESS_ACCEPTABLE);
    EXPECT_EQ(IsValidAddress("255.255.255.254"), ADDRESS_ACCEPTABLE);
    EXPECT_EQ(IsValidAddress("010.001.1.1"), ADDRESS_ACCEPTABLE);
}

TEST(IsValidAddress, EmptyTextIsAccepted)
{
    EXPECT_EQ(IsValidAddress(""), ADDRESS_ACCEPTABLE);
}

TEST(IsValidAddress, TrailingDotEndsTheScanAfterFourOctets)
{
    EXPECT_EQ(IsValidAddress("1.2.3.4."), ADDRESS_ACCEPTABLE);
}

TEST(IsValidAddress, RefusesForeignCharacters)
{
    EXPECT_EQ(IsValidAddress("abc"), ADDRESS_BAD_CHARACTER);
    EXPECT_EQ(IsValidAddress("192.168.1.x"), ADDRESS_BAD_CHARACTER);
    EXPECT_EQ(IsValidAddress("192.168.1.10 "), ADDRESS_BAD_CHARACTER);
    EXPECT_EQ(IsValidAddress("-1.2.3.4"), ADDRESS_BAD_CHARACTER);
    // A full-width digit in CP932 ("１") is two bytes outside the allowed set.
    EXPECT_EQ(IsValidAddress("\x82\x50.2.3.4"), ADDRESS_BAD_CHARACTER);
    // Letters are refused before the mask is looked at.
    EXPECT_EQ(IsValidAddress("1.2.3.4/a"), ADDRESS_BAD_CHARACTER);
}

TEST(IsValidAddress, RefusesAMaskPart)
{
    EXPECT_EQ(IsValidAddress("192.168.1.10/24"), ADDRESS_HAS_MASK);
    EXPECT_EQ(IsValidAddress("/24"), ADDRESS_HAS_MASK);
    EXPECT_EQ(IsValidAddress("1.2.3.4//"), ADDRESS_HAS_MASK);
}

TEST(IsValidAddress, SlashWithNothingAfterItLeavesTheAddressToBeChecked)
{
    EXPECT_EQ(IsValidAddress("192.168.1.10/"), ADDRESS_ACCEPTABLE);
    EXPECT_EQ(IsValidAddress("/"), ADDRESS_NOT_FOUR_OCTETS);
}

TEST(IsValidAddress, RefusesOtherThanFourOctets)
{
    EXPECT_EQ(IsValidAddress("192.168.1"), ADDRESS_NOT_FOUR_OCTETS);
    EXPECT_EQ(IsValidAddress("1.2.3.4.5"), ADDRESS_NOT_FOUR_OCTETS);
    EXPECT_EQ(IsValidAddress("1..2.3"), ADDRESS_NOT_FOUR_OCTETS);
    EXPECT_EQ(IsValidAddress(".1.2.3.4"), ADDRESS_NOT_FOUR_OCTETS);
    EXPECT_EQ(IsValidAddress("1.2..3.4"), ADDRESS_NOT_FOUR_OCTETS);
    EXPECT_EQ(IsValidAddress("."), ADDRESS_NOT_FOUR_OCTETS);
    EXPECT_EQ(IsValidAddress("1234"), ADDRESS_NOT_FOUR_OCTETS);
}

TEST(IsValidAddress, RefusesOctetsAbove255)
{
    EXPECT_EQ(IsValidAddress("256.1.1.1"), ADDRESS_NOT_FOUR_OCTETS);
    EXPECT_EQ(IsValidAddress("1.1.1.256"), ADDRESS_NOT_FOUR_OCTETS);
    EXPECT_EQ(IsValidAddress("1.1.1.99999999999999999999999"), ADDRESS_NOT_FOUR_OCTETS);
    // 2^32 + 1 must not wrap into range.
    EXPECT_EQ(IsValidAddress("4294967297.1.1.1"), ADDRESS_NOT_FOUR_OCTETS);
}

TEST(IsValidAddress, RefusesAllZeroAndAllOnes)
{
    EXPECT_EQ(IsValidAddress("0.0.0.0"), ADDRESS_ALL_ZERO_OR_ONES);
    EXPECT_EQ(IsValidAddress("255.255.255.255"), ADDRESS_ALL_ZERO_OR_ONES);
    EXPECT_EQ(IsValidAddress("000.0.00.0"), ADDRESS_ALL_ZERO_OR_ONES);
    EXPECT_EQ(IsValidAddress("255.255.255.255."), ADDRESS_ALL_ZERO_OR_ONES);
}

}  // namespace
}  // namespace verup
