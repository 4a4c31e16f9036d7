#pragma once
// The device's settings as read by getdata: up to 128 blocks of up to 1024 item texts (CP932).
#include <string>
#include <vector>

namespace verup {

class SettingsTable {
public:
    static constexpr int kMaxBlocks = 128;
    static constexpr int kMaxItems = 1024;

    // block and item count from 1; out of range gives an empty text / is ignored.
    const std::string& Item(int block, int item) const;
    void SetItem(int block, int item, std::string text);

private:
    std::vector<std::vector<std::string>> blocks_;
};

}  // namespace verup
