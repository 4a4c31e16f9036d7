#pragma once
// Manual-reset event: the hand-over between a link's reader and the thread that waits for a reply.
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/Clock.h"

namespace verup {

class ManualResetEvent {
public:
    // Notifies under the lock: a waiter may destroy the event as soon as it sees the flag, so
    // Set must not touch the condition variable after the lock is released.
    void Set()
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
        cv_.notify_all();
    }
    void Reset()
    {
        std::lock_guard lock(mutex_);
        signalled_ = false;
    }
    bool IsSet() const
    {
        std::lock_guard lock(mutex_);
        return signalled_;
    }
    // Waits at most `ms` device milliseconds; true when the event is set.
    bool WaitMs(const Clock& clock, int64_t ms)
    {
        std::unique_lock lock(mutex_);
        return cv_.wait_until(lock, clock.DeadlineIn(ms), [this] { return signalled_; });
    }
    void Wait()
    {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return signalled_; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};

}  // namespace verup
