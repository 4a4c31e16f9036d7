#include "image/LineTable.h"

#include <cstring>

namespace verup {

LineTable::LineTable(std::size_t capacity, std::size_t entry_bytes)
    : capacity_(capacity), entry_bytes_(entry_bytes < 3 ? 3 : entry_bytes), storage_(capacity * entry_bytes_, '\0'),
      source_lines_(capacity, 0)
{
}

std::string_view LineTable::Line(std::size_t i) const
{
    if (i >= count_)
        return {};
    const char* entry = storage_.data() + i * entry_bytes_;
    return std::string_view(entry, std::strlen(entry));
}

const char* LineTable::CLine(std::size_t i) const
{
    return i < count_ ? storage_.data() + i * entry_bytes_ : "";
}

std::size_t LineTable::SourceLine(std::size_t i) const
{
    return i < count_ ? source_lines_[i] : 0;
}

std::string LineTable::AssembledText() const
{
    std::string text;
    text.reserve(count_ * entry_bytes_);
    for (std::size_t i = 0; i < count_; ++i)
        text += Line(i);
    return text;
}

bool LineTable::Assign(const std::vector<std::string_view>& words, const std::vector<std::size_t>& source_lines)
{
    if (words.size() > capacity_ || source_lines.size() != words.size())
        return false;
    for (std::string_view word : words)
        if (word.size() > MaxWordLength() || word.find('\0') != std::string_view::npos)
            return false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        char* entry = storage_.data() + i * entry_bytes_;
        std::memcpy(entry, words[i].data(), words[i].size());
        std::memcpy(entry + words[i].size(), "\r\n", 3);
        source_lines_[i] = source_lines[i];
    }
    count_ = words.size();
    return true;
}

}  // namespace verup
