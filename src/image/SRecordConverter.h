#pragma once
// S-record text to binary image: a byte-wise state machine over the text.
//
// Example of what it reads (one data record, then the termination record):
//   S1130000285F245F2212226A000424290008237C2A\r\n
//   S9030000FC\r\n
// Records end in CR LF, hex digits are upper case. Data records are S1, S2 and S3 (16, 24
// and 32-bit addresses), S7/S8/S9 end the records, S0, S5 and S6 are skipped. A 0xFE byte
// anywhere is ignored; 0x1A or the end of the text before a termination record is a
// failure, and so is an empty line (CR at a line start). A file that holds more than its
// converted part is refused rather than cut short: an S4 or a record type that is no digit,
// and a data record after the termination record, are failures. After the termination
// record only line ends, blanks, records without data and a 0x1A end mark may follow.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "image/ConversionError.h"
#include "image/ImageLayout.h"

namespace verup {

enum class Placement {
    // Write position = record address - PROG_RAM_STR_ADR; the record must start inside the
    // program area; the highest record address is tracked for SectorCount.
    Program,
    // Write position = the record address modulo 65536.
    Sector,
};

struct ConversionResult {
    // True when a termination record was reached and nothing unusable follows it: the
    // conversion's own result, and the only one that makes the file usable.
    bool Terminated = false;
    // Largest start address of a data record seen (program placement), 0 when none.
    std::uint32_t HighestAddress = 0;
    // Address of the highest data byte stored (program placement), 0 when none: a record
    // that runs over a sector boundary needs the sector its last byte lies in.
    std::uint32_t LastByteAddress = 0;
    std::size_t DataRecords = 0;
    std::size_t BytesWritten = 0;
    // Why and where the conversion stopped, when it failed.
    std::optional<ConversionError> Error;

    explicit operator bool() const { return Terminated; }
};

// Converts `text` into `image`. Data bytes are only ever stored inside `image`; a byte
// whose position lies past `image`, past FRAM_END_ADR or (program placement) past the
// program area stops the conversion with failure. The caller fills the image beforehand.
[[nodiscard]] ConversionResult ConvertSRecordText(std::string_view text, std::span<std::uint8_t> image,
                                                  Placement placement, const ImageLayout& cfg);

}  // namespace verup
