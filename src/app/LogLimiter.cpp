#include "app/LogLimiter.h"

namespace verup {
namespace {

// Room kept for the notices, so the cut notice always fits.
constexpr std::size_t kNoticeRoom = 256;

}  // namespace

std::vector<std::string> LogLimiter::Take(const std::string& text)
{
    std::vector<std::string> out;
    if (cut_ || text.empty())
        return out;
    if (text == last_ && ++repeats_ > kRepeatsShown)
        return out;
    if (text != last_) {
        FlushInto(out);
        last_ = text;
        repeats_ = 1;
    }
    Emit(text, out);
    return out;
}

std::vector<std::string> LogLimiter::Flush()
{
    std::vector<std::string> out;
    FlushInto(out);
    return out;
}

void LogLimiter::FlushInto(std::vector<std::string>& out)
{
    if (!cut_ && repeats_ > kRepeatsShown)
    {
        const long long more = repeats_ - kRepeatsShown;
        Emit("last line repeated " + std::to_string(more) + (more == 1 ? " more time\r\n" : " more times\r\n"), out);
    }
    last_.clear();
    repeats_ = 0;
}

void LogLimiter::Emit(const std::string& text, std::vector<std::string>& out)
{
    if (cut_)
        return;
    if (written_ + text.size() + kNoticeRoom > max_bytes_) {
        cut_ = true;
        out.push_back("debug log cut here: it reached its limit of " + std::to_string(max_bytes_) +
                      " bytes; later lines are left out\r\n");
        return;
    }
    written_ += text.size();
    out.push_back(text);
}

}  // namespace verup
