#pragma once
// The bodies of the image fuzz targets, shared with the test that replays the inputs kept
// under fuzz/corpus-regressions. Each aborts when an invariant breaks; the sanitizers catch
// any access outside a buffer.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "image/ImageFiles.h"
#include "image/LineTable.h"
#include "image/SRecordConverter.h"
#include "package/Config.h"

namespace verup::fuzz {

inline void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// The first byte picks the placement and a small layout, the rest is the S-record text.
inline void ConvertOne(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return;
    const std::uint8_t shape = data[0];
    Config cfg;
    cfg.PROG_RAM_STR_ADR = 0x10000u * (shape & 0x03);
    cfg.PROG_RAM_END_ADR = cfg.PROG_RAM_STR_ADR + ((shape & 0x04) ? 0x1FF : 0xFFFF);
    cfg.FRAM_END_ADR = (shape & 0x08) ? 0x17F : 0xFFFFFFFFu;
    const Placement placement = (shape & 0x10) ? Placement::Sector : Placement::Program;
    // Exactly sized, so a write past the end is seen by the address sanitizer.
    std::vector<std::uint8_t> image((shape & 0x20) ? 0x100 : 0x10000, 0xFF);

    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const ConversionResult r = ConvertSRecordText(text, image, placement, cfg);
    Require(r.BytesWritten <= image.size(), "more bytes written than the image holds");
    Require(r.Terminated != r.Error.has_value(), "a result is either terminated or carries an error");
    if (r.Error) {
        Require(r.Error->line >= 1 && r.Error->column >= 1, "error positions are 1-based");
        Require(!r.Error->expected.empty() && !r.Error->found.empty(), "error texts are filled");
    }
    if (placement == Placement::Program && r.DataRecords > 0 && r.Terminated)
        Require(r.HighestAddress >= cfg.PROG_RAM_STR_ADR && r.HighestAddress <= cfg.PROG_RAM_END_ADR,
                "highest address inside the program area");
}

// The input as a boot or FPGA file (first byte picks the table; a tiny one reaches the
// capacity refusals with short inputs), then its conversion. The file is a scratch one of
// this process in TMPDIR (/dev/shm keeps it off the disk: many times faster).
inline void LoadLinesOne(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return;
    const char* const tmp = std::getenv("TMPDIR");
    const std::string scratch_path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                                     "/verup-lines-fuzz-" + std::to_string(::getpid()) + ".mot";
    {
        std::ofstream file(scratch_path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    struct Remove {
        const std::string& path;
        ~Remove() { std::remove(path.c_str()); }
    } remove{scratch_path};
    LineTable table = (data[0] & 2) ? LineTable(8, 12) : (data[0] & 1) ? LineTable::ForBoot() : LineTable::ForFpga();
    const LineLoadResult r = LoadImageLines(scratch_path, table);
    Require(r.Count != LINES_UNREADABLE, "the scratch file is readable");
    if (r.Count == LINES_REFUSED) {
        Require(r.Error.has_value() && !r.Reason.empty(), "a refusal says why");
        Require(table.Count() == 0, "a refused file leaves the fresh table empty");
        return;
    }
    Require(static_cast<std::size_t>(r.Count) == table.Count(), "count matches the table");
    Require(table.Count() <= table.Capacity(), "within the capacity");
    for (std::size_t i = 0; i < table.Count(); ++i) {
        const std::string_view line = table.Line(i);
        Require(line.size() >= 3 && line.size() <= table.MaxWordLength() + 2, "entry length");
        Require(line.substr(line.size() - 2) == "\r\n", "entry ends in CR LF");
        Require(line.find_first_of(" \t\r\n") == line.size() - 2, "one word per entry");
    }
    Config cfg;
    cfg.FRAM_END_ADR = 0xFFFFFFFFu;
    std::vector<std::uint8_t> image(0x10000, 0xFF);
    const ConversionResult c = ConvertSRecordText(table.AssembledText(), image, Placement::Sector, cfg);
    Require(c.BytesWritten <= image.size(), "sector conversion stays inside");
}

}  // namespace verup::fuzz
