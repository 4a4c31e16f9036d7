#include "image/SRecordWriter.h"

#include <algorithm>
#include <vector>

namespace verup {

namespace {

constexpr std::size_t MAX_DATA_BYTES = 250;  // count byte = address + data + checksum <= 255
constexpr const char* HEX = "0123456789ABCDEF";

void AppendByte(std::string& out, std::uint8_t b)
{
    out.push_back(HEX[b >> 4]);
    out.push_back(HEX[b & 0x0F]);
}

}  // namespace

SRecordWriter::SRecordWriter(std::string_view header, std::size_t bytes_per_record)
    : bytes_per_record_(std::clamp<std::size_t>(bytes_per_record, 1, MAX_DATA_BYTES))
{
    if (!header.empty()) {
        const std::size_t length = std::min<std::size_t>(header.size(), MAX_DATA_BYTES);
        const std::vector<std::uint8_t> bytes(header.begin(), header.begin() + static_cast<std::ptrdiff_t>(length));
        text_ += Record('0', 0, 2, bytes);
    }
}

std::string SRecordWriter::Record(char type, std::uint32_t address, int address_bytes,
                                  std::span<const std::uint8_t> data)
{
    address_bytes = std::clamp(address_bytes, 2, 4);
    const std::size_t length = std::min(data.size(), MAX_DATA_BYTES + 4 - static_cast<std::size_t>(address_bytes));
    const auto count = static_cast<std::uint8_t>(address_bytes + length + 1);
    std::string out = "S";
    out.push_back(type);
    unsigned sum = count;
    AppendByte(out, count);
    for (int i = address_bytes - 1; i >= 0; --i) {
        const auto b = static_cast<std::uint8_t>(address >> (8 * i));
        sum += b;
        AppendByte(out, b);
    }
    for (std::size_t i = 0; i < length; ++i) {
        sum += data[i];
        AppendByte(out, data[i]);
    }
    AppendByte(out, static_cast<std::uint8_t>(~sum & 0xFF));
    out += "\r\n";
    return out;
}

void SRecordWriter::AddData(std::uint32_t address, std::span<const std::uint8_t> data, bool skip_erased)
{
    for (std::size_t offset = 0; offset < data.size(); offset += bytes_per_record_) {
        const auto piece = data.subspan(offset, std::min(bytes_per_record_, data.size() - offset));
        if (skip_erased && std::all_of(piece.begin(), piece.end(), [](std::uint8_t b) { return b == 0xFF; }))
            continue;
        text_ += Record('3', static_cast<std::uint32_t>(address + offset), 4, piece);
    }
}

std::string SRecordWriter::Finish(std::uint32_t entry_address) const
{
    return text_ + Record('7', entry_address, 4, {});
}

}  // namespace verup
