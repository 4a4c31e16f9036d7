#include "platform/InstanceGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Paths.h"

namespace verup {

InstanceGuard::Result InstanceGuard::Acquire(const std::string& state_directory,
                                             std::unique_ptr<InstanceGuard>& guard, std::string* reason)
{
    const auto fail = [reason](std::string why) {
        if (reason != nullptr)
            *reason = std::move(why);
        return Result::Failed;
    };
    guard.reset();
    errno = 0;
    if (!EnsurePrivateDirectory(state_directory))
        return fail(state_directory + " is not a folder of this user's that only this user may write into" +
                    (errno != 0 ? std::string(" (") + std::strerror(errno) + ")" : std::string()));
    std::string path = JoinPath(state_directory, kInstanceLockName);
    // O_NOFOLLOW: a symbolic link planted at the lock's name is refused, never followed.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return fail("cannot open the lock file " + path + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        return fail("the lock file " + path + " is not a regular file of this user's");
    }
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            return Result::HeldElsewhere;
        return fail("cannot lock " + path + ": " + std::strerror(err));
    }
    guard.reset(new InstanceGuard(fd, std::move(path)));
    return Result::Acquired;
}

InstanceGuard::~InstanceGuard()
{
    // The file stays: removing it would let a third instance lock a fresh inode while a
    // second one still holds the old one.
    const int fd = static_cast<int>(handle_);
    ::flock(fd, LOCK_UN);
    ::close(fd);
}

}  // namespace verup
