#pragma once
// Building the binary images the LAN update sends: the program image with its checksum
// word, the FPGA sector with both FPGA files and their parameter bytes, and the boot sector.
// The image buffers belong to the caller; these functions size and fill them.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image/ImageLayout.h"
#include "image/LineTable.h"
#include "image/SRecordConverter.h"

namespace verup {

// 16-bit sum of the little-endian words starting at first, first + 2, ... while the start
// is <= last. A high byte past the end of `image` counts as 0xFF (erased flash).
std::uint16_t SumImageWords(std::span<const std::uint8_t> image, std::size_t first, std::size_t last);

struct ProgramBuildResult {
    // Sectors of SECT_END_ADR + 1 bytes (the pieces the download cuts) up to the one that
    // holds the highest data byte; 0 = failure.
    std::uint8_t SectorCount = 0;
    // The word stored at CHECK_SUM_ADR (when the conversion ran).
    std::uint16_t ChecksumWord = 0;
    bool Opened = false;
    ConversionResult Conversion;
    std::string Reason;  // why SectorCount is 0; empty on success

    bool Ok() const { return SectorCount != 0; }
};

// Converts rt00.mot from `image_directory` into `image`, reading exactly `startup_size`
// bytes of it (the size taken at start-up). Refuses, with a reason, a program area that is
// empty, odd-sized or larger than MAX_PROGRAM_AREA_BYTES, and a checksum slot that is odd
// or lies outside the area. When the file cannot be opened the image is untouched.
// On success `image` holds the program area (0xFF where rt00.mot writes nothing) and, past
// it, 0xFF up to SectorCount pieces of SECT_END_ADR + 1 bytes, so ProgramImageSector never
// reads past it.
[[nodiscard]] ProgramBuildResult BuildProgramImage(const ImageLayout& cfg, const std::string& image_directory,
                                                   std::uint32_t startup_size, std::vector<std::uint8_t>& image);

// Piece n (1-based) of SECT_END_ADR + 1 bytes of the program image, as the LAN update
// downloads it; shorter (or empty) where the image ends.
std::span<const std::uint8_t> ProgramImageSector(const std::vector<std::uint8_t>& image, int n, const ImageLayout& cfg);

struct SectorBuildResult {
    // The operation's own result: false only when a file could not be opened (or a line
    // table refused it, or the configuration does not fit the sector image).
    bool Ok = false;
    // One conversion per file (FPGA: fpga01.mot, fpga02.mot; boot: from00.mot). A failed
    // conversion leaves Ok true, as the device tool does, but `verup images` reports it.
    std::vector<ConversionResult> Conversions;
    std::string Reason;  // why Ok is false, or which conversion stopped and where

    // Ok and every file converted up to its termination record.
    bool FullyConverted() const;
};

// fpga01.mot and fpga02.mot into one sector image of SECT_END_ADR + 1 bytes (the second
// file overwrites the first where they overlap), then the FP_LEN parameter bytes of each
// FPGA at FPGAn_STR_ADR + FPGA_DATA_LEN - 16. The two tables are reloaded.
[[nodiscard]] SectorBuildResult BuildFpgaImage(const ImageLayout& cfg, const std::string& image_directory,
                                               LineTable& fpga1_lines, LineTable& fpga2_lines,
                                               std::vector<std::uint8_t>& image);

// from00.mot into one sector image of SECT_END_ADR + 1 bytes. The table is reloaded.
[[nodiscard]] SectorBuildResult BuildBootImage(const ImageLayout& cfg, const std::string& image_directory,
                                               LineTable& boot_lines, std::vector<std::uint8_t>& image);

}  // namespace verup
