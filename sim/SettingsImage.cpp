#include "SettingsImage.h"

#include <cstdio>
#include <cstring>

namespace devsim {
namespace {

constexpr char kMagic[8] = {'N', 'X', 'S', 'E', 'T', '0', '1', '\0'};
// A block 37 record: eleven fields separated by 0x01.
constexpr char kFieldSeparator = '\x01';

void PutU16(std::vector<uint8_t>& out, std::size_t value)
{
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

std::string Record37(int item, bool new_layout, bool used)
{
    std::string fields[11];
    for (int f = 0; f < 11; ++f)
        fields[f] = used ? std::to_string(item * 100 + f + 1) : "0";
    if (used) {
        // The old firmware wrote "no value" as 65535, the new one as -1.
        fields[6] = new_layout ? "-1" : "65535";
        fields[10] = new_layout ? "-1" : "65535";
    }
    std::string record;
    for (int f = 0; f < 11; ++f) {
        if (f > 0)
            record += kFieldSeparator;
        record += fields[f];
    }
    return record;
}

SettingsImage Make(const verup::SettingsLayoutTable& layout, bool new_layout, bool used)
{
    SettingsImage s;
    s.NewLayout = new_layout;
    for (int b = 1; b <= layout.BlockCount; ++b) {
        std::vector<std::string> items;
        for (int i = 1; i <= layout.Items(b); ++i) {
            if (b == 37)
                items.push_back(Record37(i, new_layout, used));
            else if (b == 19 && i == 2)
                items.push_back(used ? (new_layout ? "5" : "4") : "1");
            else if (used)
                items.push_back("user" + std::to_string(b) + "." + std::to_string(i));
            else
                items.push_back("def" + std::to_string(b) + "." + std::to_string(i));
        }
        s.Blocks.push_back(std::move(items));
    }
    return s;
}

}  // namespace

const std::string* SettingsImage::Item(int block, int item) const
{
    if (block < 1 || block > BlockCount())
        return nullptr;
    const auto& items = Blocks[static_cast<std::size_t>(block - 1)];
    if (item < 1 || item > static_cast<int>(items.size()))
        return nullptr;
    return &items[static_cast<std::size_t>(item - 1)];
}

std::optional<std::vector<uint8_t>> EncodeSettings(const SettingsImage& settings, std::size_t area_bytes)
{
    std::vector<uint8_t> out(kMagic, kMagic + sizeof kMagic);
    out.push_back(settings.NewLayout ? 1 : 0);
    PutU16(out, settings.Blocks.size());
    for (const auto& block : settings.Blocks) {
        PutU16(out, block.size());
        for (const auto& item : block) {
            if (item.size() > 0xFFFF)
                return std::nullopt;
            PutU16(out, item.size());
            out.insert(out.end(), item.begin(), item.end());
        }
    }
    if (out.size() > area_bytes)
        return std::nullopt;
    out.resize(area_bytes, 0xFF);
    return out;
}

std::optional<SettingsImage> DecodeSettings(std::span<const uint8_t> area)
{
    std::size_t pos = 0;
    auto take = [&](std::size_t n) -> const uint8_t* {
        if (area.size() - pos < n)
            return nullptr;
        const uint8_t* p = area.data() + pos;
        pos += n;
        return p;
    };
    auto u16 = [&](std::size_t& value) {
        const uint8_t* p = take(2);
        if (p == nullptr)
            return false;
        value = static_cast<std::size_t>(p[0] | (p[1] << 8));
        return true;
    };
    const uint8_t* magic = take(sizeof kMagic);
    if (magic == nullptr || std::memcmp(magic, kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    const uint8_t* layout = take(1);
    std::size_t blocks = 0;
    if (layout == nullptr || *layout > 1 || !u16(blocks))
        return std::nullopt;
    SettingsImage s;
    s.NewLayout = *layout == 1;
    for (std::size_t b = 0; b < blocks; ++b) {
        std::size_t items = 0;
        if (!u16(items))
            return std::nullopt;
        std::vector<std::string> block;
        for (std::size_t i = 0; i < items; ++i) {
            std::size_t length = 0;
            if (!u16(length))
                return std::nullopt;
            const uint8_t* text = take(length);
            if (text == nullptr)
                return std::nullopt;
            block.emplace_back(reinterpret_cast<const char*>(text), length);
        }
        s.Blocks.push_back(std::move(block));
    }
    return s;
}

SettingsImage DefaultSettings(const verup::SettingsLayoutTable& layout, bool new_layout)
{
    return Make(layout, new_layout, false);
}

SettingsImage UsedSettings(const verup::SettingsLayoutTable& layout, bool new_layout)
{
    return Make(layout, new_layout, true);
}

std::string EscapeItem(const std::string& item)
{
    std::string out;
    for (unsigned char c : item) {
        if (c < 0x20 || c > 0x7E || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace devsim
