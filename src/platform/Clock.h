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

    // A scale as the user wrote it (the front ends' VERUP_TIME_SCALE): 1 when absent, unreadable
    // or below 1.
    static double ScaleFromText(const char* text);

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
