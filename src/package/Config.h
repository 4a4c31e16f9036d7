#pragma once
// The values of verup.dat, read once at start-up. Texts are CP932 bytes as stored in the file.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/ImageLayout.h"

namespace verup {

// A settings table's capacity, and so the most a layout section may ask for.
inline constexpr int kMaxSettingsBlocks = 128;
inline constexpr int kMaxSettingsItems = 1024;

class ProfileFile;

// One settings layout section (N_SAVE, O_SAVE, C_DATA, C_SAVE): a block count and the
// number of items in each block.
struct SettingsLayoutTable {
    int BlockCount = 0;
    std::vector<int> ItemCounts;  // ItemCounts[b - 1] = items of block b
    bool Capped = false;          // the section asked for more than a settings table holds
    int Items(int block) const { return block >= 1 && block <= static_cast<int>(ItemCounts.size()) ? ItemCounts[block - 1] : 0; }
};

// The [AREA] section and the FP keys are the image layout; the rest steers the update.
struct Config : ImageLayout {
    // [MODE]
    int DEBUG = 0;
    int SEL = 0;
    int RETRY = 0;
    int CRC = 0;
    int AUTO = 0;
    int SAVE = 0;
    int LANBOOT = 0;
    int UPLOAD = 0;
    // [VERUP]
    std::string NAME1;
    std::string NAME2;
    std::string KIKI1;
    std::string KIKI2;
    double FRM_VER = 0.0;
    double TEL_VER = 0.0;
    int NUM_LEN = 0;
    std::string NUM;
    int REV_VER = 0;
    // The settings layout sections: the new layout, the old one, the old one renumbered
    // for the new firmware, and the new one as a converted backup holds it.
    SettingsLayoutTable N_SAVE;
    SettingsLayoutTable O_SAVE;
    SettingsLayoutTable C_DATA;
    SettingsLayoutTable C_SAVE;

    // Which keys were absent (default taken), for `verup config`.
    std::vector<std::string> DefaultedKeys;

    // The layout section of that name (N_SAVE, O_SAVE, C_DATA, C_SAVE), else null.
    const SettingsLayoutTable* LayoutSection(std::string_view name) const
    {
        return name == "N_SAVE" ? &N_SAVE : name == "O_SAVE" ? &O_SAVE : name == "C_DATA" ? &C_DATA : name == "C_SAVE" ? &C_SAVE : nullptr;
    }
};

}  // namespace verup
