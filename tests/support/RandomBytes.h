#pragma once
// Bytes that look like a real image to the code under test, the same for the same seed.
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace verup::test {

inline std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    return bytes;
}

}  // namespace verup::test
