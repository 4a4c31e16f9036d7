#pragma once
// The device's settings as read by getdata: up to 128 blocks of up to 1024 item texts (CP932).
// Items are kept whole whatever their length.
#include <string>
#include <vector>

#include "package/Config.h"

namespace verup {

// Firmware from this version on numbers its settings the new way.
inline constexpr double kNewLayoutVersion = 1.1;
// Revisions 0 ... 4 of firmware 1.1 cannot save and restore settings.
inline constexpr int kLastRevisionWithoutCarry = 4;
inline bool RevisionWithoutCarry(int revision) { return revision >= 0 && revision <= kLastRevisionWithoutCarry; }


class SettingsTable {
public:
    static constexpr int kMaxBlocks = kMaxSettingsBlocks;
    static constexpr int kMaxItems = kMaxSettingsItems;

    // block and item count from 1; out of range gives an empty text / is ignored.
    const std::string& Item(int block, int item) const;
    void SetItem(int block, int item, std::string text);

    // Whether every slot of `layout` lies inside the table (a capped section does not).
    static bool Holds(const SettingsLayoutTable& layout);

private:
    std::vector<std::vector<std::string>> blocks_;
};

}  // namespace verup
