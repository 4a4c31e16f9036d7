#pragma once
// One flash area an update wrote with an image, as front ends report it.
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "image/ImageBuilder.h"
#include "image/ImageLimits.h"

namespace verup {

// The FPGA sector holds both FPGA files.
inline constexpr char kFpgaSectorFiles[] = "fpga01.mot+fpga02.mot";

struct WrittenImage {
    std::string File;  // the image file(s) the area's content came from
    int Area = 0;
    std::size_t Bytes = 0;
    // 16-bit sum of the little-endian words written, as the device's own check adds them.
    std::uint16_t WordSum = 0;

    static WrittenImage Of(std::string file, int area, std::span<const std::uint8_t> bytes)
    {
        const std::uint16_t sum = bytes.empty() ? std::uint16_t{0} : SumImageWords(bytes, 0, bytes.size() - 1);
        return {std::move(file), area, bytes.size(), sum};
    }
};

}  // namespace verup
