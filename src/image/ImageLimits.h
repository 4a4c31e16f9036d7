#pragma once
// The image file names, and the bounds every buffer built from a file or a configuration obeys.
#include <cstddef>
#include <cstdint>
#include <string>

namespace verup {

inline constexpr const char* PROGRAM_IMAGE_FILE = "rt00.mot";
inline constexpr const char* BOOT_IMAGE_FILE = "from00.mot";
inline constexpr const char* CONFIG_FILE = "verup.dat";

// The program area is counted in 65536-byte sectors with an 8-bit SectorCount.
inline constexpr std::uint32_t IMAGE_SECTOR_BYTES = 65536;
inline constexpr std::size_t MAX_PROGRAM_AREA_BYTES = 256u * IMAGE_SECTOR_BYTES;
// A flash sector (SECT_END_ADR + 1) is never larger than the program area may be.
inline constexpr std::size_t MAX_SECTOR_IMAGE_BYTES = MAX_PROGRAM_AREA_BYTES;
// S-record text of a full program area is about 2.3 times its size.
inline constexpr std::size_t MAX_IMAGE_TEXT_BYTES = 64u * 1024 * 1024;

// "fpga01.mot" for 1, "fpga02.mot" for 2.
std::string FpgaImageFile(int image_number);
// The file `name` inside `directory`.
std::string ImagePath(const std::string& directory, const std::string& name);

}  // namespace verup
