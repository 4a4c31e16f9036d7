#pragma once
// Periodic timers with identifiers, standing in for window timers. Callbacks run on the
// service's own thread; Kill() returns only when the callback of that timer is not running
// (unless Kill is called from inside that very callback).
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "platform/Clock.h"

namespace verup {

inline constexpr int TIMER_STATUS = 21520;
inline constexpr int TIMER_WATCHDOG = 21521;

class TimerService {
public:
    explicit TimerService(const Clock& clock);
    ~TimerService();
    TimerService(const TimerService&) = delete;
    TimerService& operator=(const TimerService&) = delete;

    // Starts (or restarts) timer `id`, firing every `period_ms` device milliseconds.
    void Set(int id, int64_t period_ms, std::function<void()> callback);
    void Kill(int id);
    bool IsRunning(int id) const;

private:
    struct Timer {
        int64_t period_ms;
        std::chrono::steady_clock::time_point due;
        std::function<void()> callback;
    };
    void Run();

    const Clock& clock_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::map<int, Timer> timers_;
    int running_id_ = 0;
    std::thread::id service_thread_id_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace verup
