#include "platform/InstanceGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Paths.h"

namespace verup {

InstanceGuard::Result InstanceGuard::Acquire(const std::string& runtime_directory,
                                             std::unique_ptr<InstanceGuard>& guard)
{
    guard.reset();
    if (!EnsurePrivateDirectory(runtime_directory))
        return Result::Failed;
    std::string path = runtime_directory + "/" + kInstanceLockName;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return Result::Failed;
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? Result::HeldElsewhere : Result::Failed;
    }
    guard.reset(new InstanceGuard(fd, std::move(path)));
    return Result::Acquired;
}

InstanceGuard::~InstanceGuard()
{
    // The file stays: removing it would let a third instance lock a fresh inode while a
    // second one still holds the old one.
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
}

}  // namespace verup
