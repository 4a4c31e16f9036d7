#include "lan/Fcs16.h"

namespace verup {

namespace {

constexpr std::array<std::uint16_t, 256> MakeFcs16Table()
{
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned v = i;
        for (int bit = 0; bit < 8; ++bit)
            v = (v & 1) ? (v >> 1) ^ 0x8408 : v >> 1;
        table[i] = static_cast<std::uint16_t>(v);
    }
    return table;
}

// Slicing-by-8: table k gives the effect of a byte followed by k zero bytes, so eight bytes
// cost eight independent look-ups instead of a chain of eight.
using SliceTables = std::array<std::array<std::uint16_t, 256>, 8>;

constexpr SliceTables MakeSliceTables()
{
    SliceTables t{};
    t[0] = MakeFcs16Table();
    for (int k = 1; k < 8; ++k)
        for (unsigned i = 0; i < 256; ++i)
            t[k][i] = static_cast<std::uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
    return t;
}

constexpr SliceTables kSlices = MakeSliceTables();

static_assert(kSlices[0][1] == 0x1189 && kSlices[0][128] == 0x8408 && kSlices[0][255] == 0x0F78);

}  // namespace

const std::array<std::uint16_t, 256> Fcs16Table = MakeFcs16Table();

std::uint16_t Fcs16UpdateBytewise(std::uint16_t fcs, const std::uint8_t* data, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i)
        fcs = static_cast<std::uint16_t>((fcs >> 8) ^ kSlices[0][(fcs ^ data[i]) & 0xFF]);
    return fcs;
}

std::uint16_t Fcs16Update(std::uint16_t fcs, const std::uint8_t* data, std::size_t length)
{
    while (length >= 8) {
        const unsigned lo = (fcs ^ data[0]) & 0xFF;
        const unsigned hi = ((fcs >> 8) ^ data[1]) & 0xFF;
        fcs = static_cast<std::uint16_t>(kSlices[7][lo] ^ kSlices[6][hi] ^ kSlices[5][data[2]] ^
                                         kSlices[4][data[3]] ^ kSlices[3][data[4]] ^ kSlices[2][data[5]] ^
                                         kSlices[1][data[6]] ^ kSlices[0][data[7]]);
        data += 8;
        length -= 8;
    }
    return Fcs16UpdateBytewise(fcs, data, length);
}

void Fcs16Append(std::uint8_t* buffer, std::size_t length)
{
    const std::uint16_t fcs = static_cast<std::uint16_t>(~Fcs16Update(FCS16_INIT, buffer, length));
    buffer[length] = static_cast<std::uint8_t>(fcs & 0xFF);
    buffer[length + 1] = static_cast<std::uint8_t>(fcs >> 8);
}

void Fcs16Append(std::vector<std::uint8_t>& block)
{
    const std::size_t length = block.size();
    block.resize(length + 2);
    Fcs16Append(block.data(), length);
}

int Fcs16Check(const std::uint8_t* data, std::size_t length)
{
    return Fcs16Update(FCS16_INIT, data, length) == FCS16_GOOD ? 1 : 0;
}

}  // namespace verup
