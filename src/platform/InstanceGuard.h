#pragma once
// The single-instance mark: an exclusive flock on a lock file in the state folder, beside the
// settings backups, so that the lock covers exactly what two copies of the tool could spoil.
// The lock is the kernel's, so a crashed instance never leaves a stale mark behind.
#include <memory>
#include <string>

namespace verup {

inline constexpr char kInstanceLockName[] = "7300QB_UPDATE_MUTEX";

class InstanceGuard {
public:
    enum class Result { Acquired, HeldElsewhere, Failed };

    // Takes the lock in `state_directory` (created 0700 when missing). `guard` is set only
    // when Acquired; `reason` (when given) says why the lock could not be taken.
    static Result Acquire(const std::string& state_directory, std::unique_ptr<InstanceGuard>& guard,
                          std::string* reason = nullptr);

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
