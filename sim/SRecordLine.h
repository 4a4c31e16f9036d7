#pragma once
// One S-record line as the boot monitor takes it while streaming.
// Example: "S30900400000285F245FD3" (CR LF already removed).
#include <cstdint>
#include <string_view>
#include <vector>

namespace devsim {

struct SRecordLine {
    char Type = 0;        // '0' ... '9'
    uint32_t Address = 0;
    std::vector<uint8_t> Data;

    bool IsData() const { return Type == '1' || Type == '2' || Type == '3'; }
    bool IsTermination() const { return Type == '7' || Type == '8' || Type == '9'; }
};

// False for anything but a well-formed record with a matching count and sum.
bool ParseSRecordLine(std::string_view line, SRecordLine& out);

}  // namespace devsim
