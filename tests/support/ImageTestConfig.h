#pragma once
// A small flash layout for image tests: a program area of four 64 KiB sectors at 0x10000,
// 64 KiB flash sectors holding two 32 KiB FPGA areas.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image/SRecordWriter.h"
#include "package/Config.h"

namespace verup::test {

inline Config ImageTestConfig()
{
    Config cfg;
    cfg.PROG_RAM_STR_ADR = 0x10000;
    cfg.PROG_RAM_END_ADR = 0x4FFFF;
    cfg.FRAM_END_ADR = 0x7FFFF;
    cfg.CHECK_SUM_ADR = 0x100;
    cfg.SECT_END_ADR = 0xFFFF;
    cfg.FPGA_DATA_LEN = 0x8000;
    cfg.FPGA1_STR_ADR = 0x0000;
    cfg.FPGA2_STR_ADR = 0x8000;
    return cfg;
}

// One S-record line; `address_bytes` 2, 3 or 4 picks S1, S2 or S3.
inline std::string DataRecord(std::uint32_t address, const std::vector<std::uint8_t>& data, int address_bytes = 4)
{
    return SRecordWriter::Record(static_cast<char>('0' + address_bytes - 1), address, address_bytes, data);
}

inline const std::string kTermination = "S9030000FC\r\n";

}  // namespace verup::test
