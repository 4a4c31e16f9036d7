#pragma once
// The single-instance mark: an exclusive flock on a lock file in the state folder, beside the
// settings backups, so that the lock covers exactly what two copies of the tool could spoil.
// On Windows it is the named mutex kInstanceLockName (for the default state folder; another
// folder gets a name of its own). The lock is the kernel's, so a crashed instance never leaves
// a stale mark behind.
//
// Beside the one instance lock there are device locks, one per device (named by the caller):
// the command line may run on many devices at once, but never twice on one.
#include <cstdint>
#include <memory>
#include <string>

namespace verup {

inline constexpr char kInstanceLockName[] = "7300QB_UPDATE_MUTEX";

class InstanceGuard {
public:
    enum class Result { Acquired, HeldElsewhere, Failed };

    // Takes the lock `name` (kInstanceLockName, or a device's name made of letters, digits,
    // '.', '_' and '-') in `state_directory` (created 0700 when missing). `guard` is set only
    // when Acquired; `reason` (when given) says why the lock could not be taken, and for
    // HeldElsewhere which process holds it ("process 1234") where the system can tell.
    static Result Acquire(const std::string& state_directory, std::unique_ptr<InstanceGuard>& guard,
                          std::string* reason = nullptr, const std::string& name = kInstanceLockName);

    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // The lock file, or on Windows the mutex's name.
    const std::string& LockPath() const { return path_; }

private:
    InstanceGuard(std::intptr_t handle, std::string path) : handle_(handle), path_(std::move(path)) {}
    std::intptr_t handle_;  // the lock file's descriptor, or the mutex's handle
    std::string path_;
};

}  // namespace verup
