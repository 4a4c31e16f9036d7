#pragma once
// The single-instance mark: an exclusive flock on a lock file in the runtime folder. The
// lock is the kernel's, so a crashed instance never leaves a stale mark behind.
#include <memory>
#include <string>

namespace verup {

inline constexpr char kInstanceLockName[] = "7300QB_UPDATE_MUTEX";

class InstanceGuard {
public:
    enum class Result { Acquired, HeldElsewhere, Failed };

    // Takes the lock in `runtime_directory` (created 0700 when missing). `guard` is set only
    // when Acquired.
    static Result Acquire(const std::string& runtime_directory, std::unique_ptr<InstanceGuard>& guard);

    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    const std::string& LockPath() const { return path_; }

private:
    InstanceGuard(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_;
    std::string path_;
};

}  // namespace verup
