#include "settings/SettingsTable.h"

#include "package/Config.h"

namespace verup {

const std::string& SettingsTable::Item(int block, int item) const
{
    static const std::string empty;
    if (block < 1 || block > static_cast<int>(blocks_.size()))
        return empty;
    const auto& items = blocks_[block - 1];
    if (item < 1 || item > static_cast<int>(items.size()))
        return empty;
    return items[item - 1];
}

void SettingsTable::SetItem(int block, int item, std::string text)
{
    if (block < 1 || block > kMaxBlocks || item < 1 || item > kMaxItems)
        return;
    if (static_cast<int>(blocks_.size()) < block)
        blocks_.resize(block);
    auto& items = blocks_[block - 1];
    if (static_cast<int>(items.size()) < item)
        items.resize(item);
    items[item - 1] = std::move(text);
}

bool SettingsTable::Holds(const SettingsLayoutTable& layout)
{
    if (layout.Capped || layout.BlockCount < 0 || layout.BlockCount > kMaxBlocks)
        return false;
    if (static_cast<int>(layout.ItemCounts.size()) < layout.BlockCount)
        return false;
    for (int b = 1; b <= layout.BlockCount; ++b) {
        const int items = layout.Items(b);
        if (items < 0 || items > kMaxItems)
            return false;
    }
    return true;
}

}  // namespace verup
