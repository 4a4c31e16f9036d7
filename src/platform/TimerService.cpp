#include "platform/TimerService.h"

namespace verup {

TimerService::TimerService(const Clock& clock) : clock_(clock)
{
    thread_ = std::thread([this] { Run(); });
}

TimerService::~TimerService()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
}

void TimerService::Set(int id, int64_t period_ms, std::function<void()> callback)
{
    {
        std::lock_guard lock(mutex_);
        const int64_t period = period_ms > 0 ? period_ms : 1;
        timers_[id] = Timer{period, clock_.DeadlineIn(period), std::move(callback)};
    }
    cv_.notify_all();
}

void TimerService::Kill(int id)
{
    std::unique_lock lock(mutex_);
    timers_.erase(id);
    if (std::this_thread::get_id() == service_thread_id_)
        return;
    cv_.wait(lock, [&] { return running_id_ != id; });
}

bool TimerService::IsRunning(int id) const
{
    std::lock_guard lock(mutex_);
    return timers_.count(id) != 0;
}

void TimerService::Run()
{
    std::unique_lock lock(mutex_);
    service_thread_id_ = std::this_thread::get_id();
    while (!stop_) {
        if (timers_.empty()) {
            cv_.wait(lock);
            continue;
        }
        auto next = timers_.begin();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->second.due < next->second.due)
                next = it;
        // A copy: Kill() may erase the timer (and its due time) while we wait.
        const auto due = next->second.due;
        if (std::chrono::steady_clock::now() < due) {
            cv_.wait_until(lock, due);
            continue;
        }
        const int id = next->first;
        next->second.due = clock_.DeadlineIn(next->second.period_ms);
        auto callback = next->second.callback;
        running_id_ = id;
        lock.unlock();
        if (callback)
            callback();
        lock.lock();
        running_id_ = 0;
        cv_.notify_all();
    }
}

}  // namespace verup
