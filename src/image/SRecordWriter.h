#pragma once
// Writes binary data as S-record text the converter reads: an S0 header, S3 data records
// (32-bit addresses, upper-case hex, CR LF line ends) and an S7 termination record.
//
// Example output for two bytes 0x12 0x34 at 0x00010000 with header "rt00":
//   S007000072743030B2\r\n
//   S307000100001234B1\r\n
//   S70500000000FA\r\n
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace verup {

// Data bytes per S3 record that keep each line within the line tables' longest words:
// 47 characters for the FPGA files, 67 for from00.mot. rt00.mot has no such limit.
inline constexpr std::size_t SREC_FPGA_BYTES_PER_RECORD = 16;
inline constexpr std::size_t SREC_BOOT_BYTES_PER_RECORD = 26;

class SRecordWriter {
public:
    // `bytes_per_record`: data bytes per S3 record, 1 ... 250.
    explicit SRecordWriter(std::string_view header = {}, std::size_t bytes_per_record = 32);

    // Data records for `data` starting at `address`. Runs of 0xFF of a whole record are
    // left out when `skip_erased` is set (the image is 0xFF-filled before conversion).
    void AddData(std::uint32_t address, std::span<const std::uint8_t> data, bool skip_erased = false);
    // The text so far plus the termination record with `entry_address`.
    std::string Finish(std::uint32_t entry_address = 0) const;

    // One record "S<type><count><address><data><sum>\r\n"; `address_bytes` 2, 3 or 4.
    static std::string Record(char type, std::uint32_t address, int address_bytes,
                              std::span<const std::uint8_t> data);

private:
    std::string text_;
    std::size_t bytes_per_record_;
};

}  // namespace verup
