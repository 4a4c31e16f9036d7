#include "image/ImageBuilder.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "image/ImageFiles.h"
#include "image/ImageLimits.h"

namespace verup {

namespace {

constexpr std::uint8_t ERASED = 0xFF;
// The parameter bytes sit in the last 16 bytes of each FPGA's area.
constexpr std::uint64_t FPGA_PARAMETER_TAIL = 16;
constexpr int MAX_FP_LEN = 17;

std::string Hex(std::uint64_t value)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// Error lines of an assembled table text are entry numbers; name the file's own line.
void MapToSourceLines(ConversionResult& conversion, const LineTable& table)
{
    if (!conversion.Error)
        return;
    const std::size_t entry = conversion.Error->line;
    if (entry >= 1 && entry <= table.Count())
        conversion.Error->line = table.SourceLine(entry - 1);
}

std::string DescribeStop(const std::string& file, const ConversionResult& conversion)
{
    if (!conversion.Error)
        return file + " did not end with a termination record";
    return file + " " + conversion.Error->Describe();
}

// Checks SECT_END_ADR and fills the sector image; false with a reason when it does not fit.
bool PrepareSectorImage(const ImageLayout& cfg, std::vector<std::uint8_t>& image, std::string& reason)
{
    const std::uint64_t size = static_cast<std::uint64_t>(cfg.SECT_END_ADR) + 1;
    if (size > MAX_SECTOR_IMAGE_BYTES) {
        reason = "SECT_END_ADR " + Hex(cfg.SECT_END_ADR) + " gives a sector larger than " +
                 Hex(MAX_SECTOR_IMAGE_BYTES) + " bytes";
        return false;
    }
    image.assign(static_cast<std::size_t>(size), ERASED);
    return true;
}

}  // namespace

std::uint16_t SumImageWords(std::span<const std::uint8_t> image, std::size_t first, std::size_t last)
{
    std::uint32_t sum = 0;
    for (std::size_t p = first; p <= last && p < image.size(); p += 2) {
        const std::uint8_t low = image[p];
        const std::uint8_t high = p + 1 < image.size() ? image[p + 1] : ERASED;
        sum += static_cast<std::uint32_t>(low) | (static_cast<std::uint32_t>(high) << 8);
        if (p + 2 < p)
            break;
    }
    return static_cast<std::uint16_t>(sum);
}

ProgramBuildResult BuildProgramImage(const ImageLayout& cfg, const std::string& image_directory,
                                     std::uint32_t startup_size, std::vector<std::uint8_t>& image)
{
    ProgramBuildResult result;
    const std::string path = ImagePath(image_directory, PROGRAM_IMAGE_FILE);

    if (cfg.PROG_RAM_END_ADR < cfg.PROG_RAM_STR_ADR) {
        result.Reason = "PROG_RAM_END_ADR " + Hex(cfg.PROG_RAM_END_ADR) + " lies below PROG_RAM_STR_ADR " +
                        Hex(cfg.PROG_RAM_STR_ADR);
        return result;
    }
    const std::uint64_t area = static_cast<std::uint64_t>(cfg.PROG_RAM_END_ADR) - cfg.PROG_RAM_STR_ADR + 1;
    if (area > MAX_PROGRAM_AREA_BYTES) {
        result.Reason = "program area of " + Hex(area) + " bytes is larger than " + Hex(MAX_PROGRAM_AREA_BYTES);
        return result;
    }
    // The checksum scheme sums whole words: an odd area or slot would never check.
    if (area % 2 != 0) {
        result.Reason = "program area of " + Hex(area) + " bytes is odd-sized";
        return result;
    }
    if (cfg.CHECK_SUM_ADR % 2 != 0 || static_cast<std::uint64_t>(cfg.CHECK_SUM_ADR) + 1 >= area) {
        result.Reason = "CHECK_SUM_ADR " + Hex(cfg.CHECK_SUM_ADR) + " is odd or outside the program area";
        return result;
    }

    std::ifstream file(path, std::ios::binary);
    if (!file) {
        result.Reason = "cannot open " + path;
        return result;
    }
    if (startup_size > MAX_IMAGE_TEXT_BYTES) {
        result.Reason = path + " is larger than " + std::to_string(MAX_IMAGE_TEXT_BYTES) + " bytes";
        return result;
    }
    result.Opened = true;
    std::string text(startup_size, '\0');
    file.read(text.data(), static_cast<std::streamsize>(startup_size));
    text.resize(static_cast<std::size_t>(file.gcount()));
    file.close();

    image.assign(static_cast<std::size_t>(area), ERASED);
    result.Conversion = ConvertSRecordText(text, image, Placement::Program, cfg);
    text = std::string();

    const std::size_t last = static_cast<std::size_t>(area - 1);
    const std::uint16_t slot = static_cast<std::uint16_t>(image[cfg.CHECK_SUM_ADR] | (image[cfg.CHECK_SUM_ADR + 1] << 8));
    const std::uint16_t sum = SumImageWords(image, 0, last);
    result.ChecksumWord = static_cast<std::uint16_t>(0x10000 - sum);
    image[cfg.CHECK_SUM_ADR] = static_cast<std::uint8_t>(result.ChecksumWord & 0xFF);
    image[cfg.CHECK_SUM_ADR + 1] = static_cast<std::uint8_t>(result.ChecksumWord >> 8);
    const std::uint16_t check = SumImageWords(image, 0, last);

    if (!result.Conversion) {
        result.Reason = DescribeStop(PROGRAM_IMAGE_FILE, result.Conversion);
        return result;
    }
    if (check != 0) {
        result.Reason = std::string(PROGRAM_IMAGE_FILE) + " leaves " + Hex(slot) +
                        " in the checksum slot at CHECK_SUM_ADR " + Hex(cfg.CHECK_SUM_ADR) + ", expected 0x0000";
        return result;
    }
    if (result.Conversion.DataRecords == 0) {
        result.Reason = std::string(PROGRAM_IMAGE_FILE) + " holds no data record";
        return result;
    }
    // Sectors are the pieces the download cuts, SECT_END_ADR + 1 bytes each, counted up to
    // the one that holds the last data byte: a record that runs over a sector boundary
    // brings its tail along.
    const std::uint64_t sector_bytes = static_cast<std::uint64_t>(cfg.SECT_END_ADR) + 1;
    const std::uint64_t sectors = (result.Conversion.LastByteAddress - cfg.PROG_RAM_STR_ADR) / sector_bytes + 1;
    if (sectors > 255) {
        result.Reason = std::string(PROGRAM_IMAGE_FILE) + " spans " + std::to_string(sectors) + " sectors of " +
                        Hex(sector_bytes) + " bytes; at most 255 can be counted";
        return result;
    }
    // The last piece may reach past the program area: give it erased flash, never bytes past
    // the buffer.
    const std::uint64_t pieces = sectors * sector_bytes;
    if (pieces > image.size()) {
        if (pieces > MAX_PROGRAM_AREA_BYTES + MAX_SECTOR_IMAGE_BYTES) {
            result.Reason = "SECT_END_ADR " + Hex(cfg.SECT_END_ADR) + " makes " + std::to_string(sectors) +
                            " sector pieces larger than the program image can be";
            return result;
        }
        image.resize(static_cast<std::size_t>(pieces), ERASED);
    }
    result.SectorCount = static_cast<std::uint8_t>(sectors);
    return result;
}

std::span<const std::uint8_t> ProgramImageSector(const std::vector<std::uint8_t>& image, int n, const ImageLayout& cfg)
{
    if (n < 1)
        return {};
    const std::uint64_t size = static_cast<std::uint64_t>(cfg.SECT_END_ADR) + 1;
    const std::uint64_t offset = static_cast<std::uint64_t>(n - 1) * size;
    if (offset >= image.size())
        return {};
    const std::uint64_t length = std::min<std::uint64_t>(size, image.size() - offset);
    return std::span<const std::uint8_t>(image.data() + offset, static_cast<std::size_t>(length));
}

bool SectorBuildResult::FullyConverted() const
{
    if (!Ok)
        return false;
    return std::all_of(Conversions.begin(), Conversions.end(), [](const ConversionResult& c) { return c.Terminated; });
}

SectorBuildResult BuildFpgaImage(const ImageLayout& cfg, const std::string& image_directory, LineTable& fpga1_lines,
                                 LineTable& fpga2_lines, std::vector<std::uint8_t>& image)
{
    SectorBuildResult result;
    LineTable* tables[2] = {&fpga1_lines, &fpga2_lines};
    for (int n = 1; n <= 2; ++n) {
        const LineLoadResult lines = LoadImageLines(ImagePath(image_directory, FpgaImageFile(n)), *tables[n - 1]);
        if (!lines.Ok()) {
            result.Reason = lines.Reason;
            return result;
        }
    }

    if (cfg.FP_LEN < 0 || cfg.FP_LEN > MAX_FP_LEN) {
        result.Reason = "FP_LEN " + std::to_string(cfg.FP_LEN) + " is outside 0 ... 17";
        return result;
    }
    const std::uint64_t sector = static_cast<std::uint64_t>(cfg.SECT_END_ADR) + 1;
    const std::uint32_t area_starts[2] = {cfg.FPGA1_STR_ADR, cfg.FPGA2_STR_ADR};
    if (cfg.FP_LEN > 0) {
        for (int n = 0; n < 2; ++n) {
            const std::uint64_t end = static_cast<std::uint64_t>(area_starts[n]) + cfg.FPGA_DATA_LEN;
            if (end < FPGA_PARAMETER_TAIL || end - FPGA_PARAMETER_TAIL + cfg.FP_LEN > sector) {
                result.Reason = "the parameter bytes of FPGA " + std::to_string(n + 1) + " (FPGA" +
                                std::to_string(n + 1) + "_STR_ADR " + Hex(area_starts[n]) + ", FPGA_DATA_LEN " +
                                Hex(cfg.FPGA_DATA_LEN) + ") lie outside the sector of " + Hex(sector) + " bytes";
                return result;
            }
        }
    }
    if (!PrepareSectorImage(cfg, image, result.Reason))
        return result;

    for (int n = 0; n < 2; ++n) {
        const std::string text = tables[n]->AssembledText();
        ConversionResult conversion = ConvertSRecordText(text, image, Placement::Sector, cfg);
        MapToSourceLines(conversion, *tables[n]);
        if (!conversion && result.Reason.empty())
            result.Reason = DescribeStop(FpgaImageFile(n + 1), conversion);
        result.Conversions.push_back(std::move(conversion));
    }

    for (int n = 0; n < 2; ++n) {
        const auto& params = n == 0 ? cfg.FpgaParams1 : cfg.FpgaParams2;
        const std::uint64_t base = static_cast<std::uint64_t>(area_starts[n]) + cfg.FPGA_DATA_LEN - FPGA_PARAMETER_TAIL;
        for (int k = 0; k < cfg.FP_LEN; ++k)
            image[static_cast<std::size_t>(base + k)] = static_cast<std::uint8_t>(params[k]);
    }
    result.Ok = true;
    return result;
}

SectorBuildResult BuildBootImage(const ImageLayout& cfg, const std::string& image_directory, LineTable& boot_lines,
                                 std::vector<std::uint8_t>& image)
{
    SectorBuildResult result;
    const LineLoadResult lines = LoadImageLines(ImagePath(image_directory, BOOT_IMAGE_FILE), boot_lines);
    if (!lines.Ok()) {
        result.Reason = lines.Reason;
        return result;
    }
    if (!PrepareSectorImage(cfg, image, result.Reason))
        return result;
    const std::string text = boot_lines.AssembledText();
    ConversionResult conversion = ConvertSRecordText(text, image, Placement::Sector, cfg);
    MapToSourceLines(conversion, boot_lines);
    if (!conversion)
        result.Reason = DescribeStop(BOOT_IMAGE_FILE, conversion);
    result.Conversions.push_back(std::move(conversion));
    result.Ok = true;
    return result;
}

}  // namespace verup
