#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "lan/Fcs16.h"

using namespace verup;

namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) { return std::vector<std::uint8_t>(text.begin(), text.end()); }

TEST(Fcs16, StandardCheckValueAndEmptyBlock)
{
    const auto digits = Bytes("123456789");
    EXPECT_EQ(static_cast<std::uint16_t>(~Fcs16Update(FCS16_INIT, digits.data(), digits.size())), 0x906E);
    std::vector<std::uint8_t> block = digits;
    Fcs16Append(block);
    ASSERT_EQ(block.size(), 11u);
    EXPECT_EQ(block[9], 0x6E);
    EXPECT_EQ(block[10], 0x90);
    EXPECT_EQ(Fcs16Update(FCS16_INIT, block.data(), block.size()), FCS16_GOOD);
    EXPECT_EQ(Fcs16Check(block.data(), block.size()), 1);
    // An empty block gets two zero bytes, which check.
    std::uint8_t empty[2] = {0xAA, 0xAA};
    Fcs16Append(empty, 0);
    EXPECT_EQ(empty[0] | empty[1], 0);
    EXPECT_EQ(Fcs16Check(empty, 2), 1);
}

TEST(Fcs16, FastPathMatchesTheBytewiseTableAtEveryLengthAndSplit)
{
    std::mt19937 rng(7);
    std::vector<std::uint8_t> data(300);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(rng());
    for (std::size_t length = 0; length <= data.size(); ++length) {
        const std::uint16_t want = Fcs16UpdateBytewise(FCS16_INIT, data.data(), length);
        ASSERT_EQ(Fcs16Update(FCS16_INIT, data.data(), length), want) << length;
        // Running it in two pieces continues from the first piece's value.
        const std::size_t split = length / 3;
        const std::uint16_t first = Fcs16Update(FCS16_INIT, data.data(), split);
        ASSERT_EQ(Fcs16Update(first, data.data() + split, length - split), want) << length;
    }
}

TEST(Fcs16, AppendedBlocksCheckAndCorruptionIsCaught)
{
    std::mt19937 rng(11);
    for (std::size_t length : {1u, 7u, 8u, 9u, 4096u, 65536u}) {
        std::vector<std::uint8_t> block(length);
        for (auto& b : block)
            b = static_cast<std::uint8_t>(rng());
        Fcs16Append(block);
        EXPECT_EQ(Fcs16Check(block.data(), block.size()), 1) << length;
        block[length / 2] ^= 0x01;
        EXPECT_EQ(Fcs16Check(block.data(), block.size()), 0) << length;
        block[length / 2] ^= 0x01;
        block[length + 1] ^= 0x80;
        EXPECT_EQ(Fcs16Check(block.data(), block.size()), 0) << length;
    }
}

}  // namespace
