#pragma once
// One clock for every sleep and time-out of the tool, the tests and the simulated device.
// All durations in the code are device milliseconds; the time scale divides them, so a
// scale of 50 runs a 25 s restart wait in half a second of real time.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace verup {

class Clock {
public:
    explicit Clock(double scale = 1.0);

    // Scale from VERUP_TIME_SCALE (default 1; values below 1 or unreadable fall back to 1).
    static Clock FromEnvironment();
    // The shared process default, read once from the environment.
    static Clock& Default();

    double Scale() const { return scale_; }

    // Device milliseconds elapsed since this clock was made (scaled).
    int64_t NowMs() const;

    void SleepMs(int64_t ms) const;

    // The real duration that stands for `ms` device milliseconds.
    std::chrono::steady_clock::duration ToReal(int64_t ms) const;

    // A point in real time `ms` device milliseconds from now, for condition-variable waits.
    std::chrono::steady_clock::time_point DeadlineIn(int64_t ms) const;

private:
    double scale_;
    std::chrono::steady_clock::time_point origin_;
};

// Deadline helper in device milliseconds (the timeout_start / timeout_check pattern).
class Deadline {
public:
    Deadline(const Clock& clock, int64_t ms) : clock_(&clock), end_(clock.DeadlineIn(ms)) {}
    bool Expired() const { return std::chrono::steady_clock::now() >= end_; }
    std::chrono::steady_clock::time_point When() const { return end_; }

private:
    const Clock* clock_;
    std::chrono::steady_clock::time_point end_;
};

}  // namespace verup
