#pragma once
// The device's settings: numbered blocks of text items, as "getdata" lists them, and their
// form in the settings flash area (31).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "package/Config.h"

namespace devsim {

struct SettingsImage {
    bool NewLayout = true;                          // N_SAVE (1.1 and later) or O_SAVE
    std::vector<std::vector<std::string>> Blocks;   // Blocks[b - 1][i - 1]

    int BlockCount() const { return static_cast<int>(Blocks.size()); }
    const std::string* Item(int block, int item) const;
    bool operator==(const SettingsImage&) const = default;
};

// Area image: magic, layout, then every block's items length-prefixed; the rest 0xFF.
// nullopt when the settings do not fit `area_bytes`.
std::optional<std::vector<uint8_t>> EncodeSettings(const SettingsImage& settings, std::size_t area_bytes);
// nullopt when the area holds no settings (erased, or not written by the firmware).
std::optional<SettingsImage> DecodeSettings(std::span<const uint8_t> area);

// What a firmware puts in place when it finds no settings of its layout.
SettingsImage DefaultSettings(const verup::SettingsLayoutTable& layout, bool new_layout);
// The values of a device that has been in use: different from every default, with the
// fields the old-to-new conversion rewrites (block 19 item 2, the block 37 records).
SettingsImage UsedSettings(const verup::SettingsLayoutTable& layout, bool new_layout);

// Item text with control bytes and bytes above 0x7E as \xNN, for inspection.
std::string EscapeItem(const std::string& item);

}  // namespace devsim
