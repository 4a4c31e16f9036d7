#include "settings/GetdataReply.h"

namespace verup {

bool ReadGetdataItems(std::string_view gathered, int count, std::vector<std::string>& items)
{
    items.clear();
    if (count <= 0)
        return true;
    const std::size_t echo_end = gathered.find('\r');
    if (echo_end == std::string_view::npos)
        return false;
    // p is the LF that ends the previous line (after its CR CR); the item starts after it.
    std::size_t p = echo_end + 2;
    for (int i = 0; i < count; ++i) {
        if (p >= gathered.size())
            return false;
        const std::size_t q = gathered.find('\r', p);
        if (q == std::string_view::npos)
            return false;
        items.emplace_back(q > p + 1 ? gathered.substr(p + 1, q - p - 1) : std::string_view());
        p = q + 2;
    }
    return true;
}

}  // namespace verup
