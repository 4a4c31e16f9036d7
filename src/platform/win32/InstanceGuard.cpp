#include "platform/InstanceGuard.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/BackendCommon.h"
#include "platform/Paths.h"
#include "platform/win32/Win32Error.h"

namespace verup {
namespace {

// The default state folder takes the mutex under its plain name, as the device's own tool does;
// another folder (tests, a second setup) gets a name of its own, so the mutex always guards
// exactly one folder of backups. Mutex names cannot hold a backslash: the folder is hashed.
std::string MutexNameFor(const std::string& state_directory)
{
    if (state_directory == DefaultStateDirectory())
        return kInstanceLockName;
    std::uint64_t hash = 14695981039346656037ULL;
    for (char c : state_directory) {
        char folded = c == '/' ? '\\' : (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        hash = (hash ^ static_cast<unsigned char>(folded)) * 1099511628211ULL;
    }
    char suffix[20];
    std::snprintf(suffix, sizeof suffix, "-%016llx", static_cast<unsigned long long>(hash));
    return std::string(kInstanceLockName) + suffix;
}

}  // namespace

InstanceGuard::Result InstanceGuard::Acquire(const std::string& state_directory,
                                             std::unique_ptr<InstanceGuard>& guard, std::string* reason,
                                             const std::string& lock_name)
{
    const auto fail = [reason](std::string why) {
        if (reason != nullptr)
            *reason = std::move(why);
        return Result::Failed;
    };
    guard.reset();
    if (!PrepareLockFolder(state_directory, reason))
        return Result::Failed;
    // A device's lock is the folder's mutex name with the device's name after it.
    std::string name = MutexNameFor(state_directory);
    if (lock_name != kInstanceLockName)
        name += "-" + lock_name;
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, name.c_str());
    if (mutex == nullptr)
        return fail("cannot create the mutex " + name + ": " + Win32ErrorText(::GetLastError()));
    // The mutex lives while a handle to it is open: it existing is the mark.
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        if (reason != nullptr)
            *reason = "another process";
        return Result::HeldElsewhere;
    }
    guard.reset(new InstanceGuard(reinterpret_cast<std::intptr_t>(mutex), std::move(name)));
    return Result::Acquired;
}

InstanceGuard::~InstanceGuard() { ::CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

}  // namespace verup
