#pragma once
// What the POSIX and Win32 backends share: portable pieces that need no system header. Only the
// files in posix/ and win32/ include it.
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <string>

#include "platform/Paths.h"

namespace verup {

// Real milliseconds left until `deadline` for a system wait call: rounded up, at most a minute,
// 0 once it has passed.
inline int RealMsUntil(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
        return 0;
    return left.count() > 60'000 ? 60'000 : static_cast<int>(left.count()) + 1;
}

// The length of the UTF-8 sequence `lead` begins, by its high bits; 1 for a byte that begins
// none (it is then taken alone).
inline std::size_t Utf8SequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 1;
}

// The state folder of the locks made or checked as this user's alone; false, with the reason
// in `reason` (when given), when it is not.
inline bool PrepareLockFolder(const std::string& state_directory, std::string* reason)
{
    errno = 0;
    if (EnsurePrivateDirectory(state_directory))
        return true;
    if (reason != nullptr)
        *reason = state_directory + " is not a folder of this user's that only this user may write into" +
                  (errno != 0 ? std::string(" (") + std::strerror(errno) + ")" : std::string());
    return false;
}

}  // namespace verup
