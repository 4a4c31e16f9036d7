#pragma once
// Reading the image files: their sizes, the line tables of the boot and FPGA files, and the
// raw text of the program file for the serial monitor.
#include <cstdint>
#include <optional>
#include <string>

#include "image/ConversionError.h"
#include "image/LineTable.h"

namespace verup {

// Size of the file in bytes; 0 when it cannot be opened for reading (or is no regular
// file). Sizes of 4 GiB and more read as 0xFFFFFFFF.
std::uint32_t GetImageFileSize(const std::string& path);

inline constexpr int LINES_UNREADABLE = -1;  // the file cannot be opened; table unchanged
inline constexpr int LINES_REFUSED = -2;     // too many words or a word too long; table unchanged

struct LineLoadResult {
    // Entries stored, LINES_UNREADABLE or LINES_REFUSED.
    int Count = LINES_UNREADABLE;
    // For LINES_REFUSED: the offending word's position in the file.
    std::optional<ConversionError> Error;
    std::string Reason;  // empty on success

    bool Ok() const { return Count >= 0; }
};

// Fills `table` with the file's words (runs of characters between blanks, tabs, CR and LF),
// each followed by CR LF. A byte 0x1A ends the file. Blank lines leave no entry.
[[nodiscard]] LineLoadResult LoadImageLines(const std::string& path, LineTable& table);

struct ProgramTextResult {
    // Number of CR LF pairs in the file; 0 when it cannot be read (see Reason).
    int Count = 0;
    bool Read = false;
    std::string Reason;  // empty when the file was read
};

// Reads the whole file into `buffer` (resized to the file's length) and counts its CR LF
// pairs, for the serial monitor download and its progress steps.
[[nodiscard]] ProgramTextResult LoadProgramText(const std::string& path, std::string& buffer);

}  // namespace verup
