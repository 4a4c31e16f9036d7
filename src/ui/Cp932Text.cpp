#include "ui/Cp932Text.h"

namespace verup {

std::string CutCp932(std::string_view text, std::size_t max_bytes)
{
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t width = IsCp932LeadByte(static_cast<unsigned char>(text[end])) ? 2 : 1;
        if (end + width > max_bytes || end + width > text.size())
            break;
        end += width;
    }
    return std::string(text.substr(0, end));
}

}  // namespace verup
