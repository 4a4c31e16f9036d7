#include "SRecordLine.h"

namespace devsim {
namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

bool ParseSRecordLine(std::string_view line, SRecordLine& out)
{
    if (line.size() < 4 || line[0] != 'S' || line[1] < '0' || line[1] > '9' || line.size() % 2 != 0)
        return false;
    std::vector<uint8_t> bytes;
    for (std::size_t i = 2; i < line.size(); i += 2) {
        const int hi = HexValue(line[i]);
        const int lo = HexValue(line[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    if (bytes[0] + 1u != bytes.size())
        return false;
    unsigned sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    if ((sum & 0xFF) != 0xFF)
        return false;
    out.Type = line[1];
    std::size_t address_bytes = 2;
    if (out.Type == '2' || out.Type == '8')
        address_bytes = 3;
    else if (out.Type == '3' || out.Type == '7')
        address_bytes = 4;
    if (bytes.size() < 1 + address_bytes + 1)
        return false;
    out.Address = 0;
    for (std::size_t i = 0; i < address_bytes; ++i)
        out.Address = (out.Address << 8) | bytes[1 + i];
    out.Data.assign(bytes.begin() + 1 + static_cast<std::ptrdiff_t>(address_bytes), bytes.end() - 1);
    if (out.IsData() && out.Data.empty())
        return false;
    return true;
}

}  // namespace devsim
