#include "platform/Clock.h"

#include <cstdlib>
#include <thread>

namespace verup {

Clock::Clock(double scale) : scale_(scale >= 1.0 ? scale : 1.0), origin_(std::chrono::steady_clock::now()) {}

double Clock::ScaleFromText(const char* text)
{
    if (text == nullptr || *text == '\0')
        return 1.0;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    return end != text && value >= 1.0 ? value : 1.0;
}

int64_t Clock::NowMs() const
{
    const auto real = std::chrono::steady_clock::now() - origin_;
    const double ms = std::chrono::duration<double, std::milli>(real).count() * scale_;
    return static_cast<int64_t>(ms);
}

std::chrono::steady_clock::duration Clock::ToReal(int64_t ms) const
{
    if (ms <= 0)
        return std::chrono::steady_clock::duration::zero();
    const double real_ms = static_cast<double>(ms) / scale_;
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double, std::milli>(real_ms));
}

std::chrono::steady_clock::time_point Clock::DeadlineIn(int64_t ms) const
{
    return std::chrono::steady_clock::now() + ToReal(ms);
}

void Clock::SleepMs(int64_t ms) const
{
    if (ms > 0)
        std::this_thread::sleep_for(ToReal(ms));
}

}  // namespace verup
