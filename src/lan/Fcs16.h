#pragma once
// The 16-bit frame check sequence of the LAN block transfers (CRC-16/X.25: polynomial 0x1021
// bit-reflected as 0x8408, start 0xFFFF, complement sent low byte first). Data followed by
// its two FCS bytes runs to FCS16_GOOD.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace verup {

inline constexpr std::uint16_t FCS16_INIT = 0xFFFF;
inline constexpr std::uint16_t FCS16_GOOD = 0xF0B8;

// Entry i: i shifted right eight times, 0x8408 XOR-ed after every shift that drops a 1.
extern const std::array<std::uint16_t, 256> Fcs16Table;

// Runs the FCS over `length` bytes from `fcs`.
std::uint16_t Fcs16Update(std::uint16_t fcs, const std::uint8_t* data, std::size_t length);
// The same, one table look-up per byte: the reference for the faster path.
std::uint16_t Fcs16UpdateBytewise(std::uint16_t fcs, const std::uint8_t* data, std::size_t length);

// Stores the complemented FCS of buffer[0 .. length) at buffer[length] (low byte) and
// buffer[length + 1]. The buffer must have length + 2 bytes.
void Fcs16Append(std::uint8_t* buffer, std::size_t length);
// Appends the two FCS bytes to `block`.
void Fcs16Append(std::vector<std::uint8_t>& block);

// 1 when `length` bytes (data and its two FCS bytes) run to FCS16_GOOD; else 0.
int Fcs16Check(const std::uint8_t* data, std::size_t length);

}  // namespace verup
