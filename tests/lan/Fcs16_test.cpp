#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lan/Fcs16.h"
#include "support/RandomBytes.h"

using namespace verup;
using verup::test::RandomBytes;

namespace {

// The standard check value, low byte first; an empty block gets two zero bytes; a flipped
// bit in the data or in the sequence is caught at every length.
TEST(Fcs16, AppendedBlocksCheckAndCorruptionIsCaught)
{
    std::vector<std::uint8_t> digits = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(static_cast<std::uint16_t>(~Fcs16Update(FCS16_INIT, digits.data(), digits.size())), 0x906E);
    Fcs16Append(digits);
    EXPECT_EQ(digits[9], 0x6E);
    EXPECT_EQ(digits[10], 0x90);
    EXPECT_EQ(Fcs16Update(FCS16_INIT, digits.data(), digits.size()), FCS16_GOOD);
    std::uint8_t empty[2] = {0xAA, 0xAA};
    Fcs16Append(empty, 0);
    EXPECT_EQ(empty[0] | empty[1], 0);
    EXPECT_EQ(Fcs16Check(empty, 2), 1);
    for (std::size_t length : {1u, 7u, 8u, 9u, 4096u, 65536u}) {
        std::vector<std::uint8_t> block = RandomBytes(length, 11);
        Fcs16Append(block);
        EXPECT_EQ(Fcs16Check(block.data(), block.size()), 1) << length;
        block[length / 2] ^= 0x01;
        EXPECT_EQ(Fcs16Check(block.data(), block.size()), 0) << length;
        block[length / 2] ^= 0x01;
        block[length + 1] ^= 0x80;
        EXPECT_EQ(Fcs16Check(block.data(), block.size()), 0) << length;
    }
}

TEST(Fcs16, FastPathMatchesTheBytewiseTableAtEveryLengthAndSplit)
{
    const std::vector<std::uint8_t> data = RandomBytes(300, 7);
    for (std::size_t length = 0; length <= data.size(); ++length) {
        const std::uint16_t want = Fcs16UpdateBytewise(FCS16_INIT, data.data(), length);
        ASSERT_EQ(Fcs16Update(FCS16_INIT, data.data(), length), want) << length;
        // Running it in two pieces continues from the first piece's value.
        const std::size_t split = length / 3;
        const std::uint16_t first = Fcs16Update(FCS16_INIT, data.data(), split);
        ASSERT_EQ(Fcs16Update(first, data.data() + split, length - split), want) << length;
    }
}

}  // namespace
