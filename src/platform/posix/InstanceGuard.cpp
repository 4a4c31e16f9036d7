#include "platform/InstanceGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/BackendCommon.h"
#include "platform/Paths.h"

namespace verup {

namespace {

// The holder writes its process id into the lock file, so that a refused run can name it.
std::string HolderOf(int fd)
{
    char text[24] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    if (n <= 0)
        return "another process";
    std::string pid(text, static_cast<std::size_t>(n));
    while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' '))
        pid.pop_back();
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos)
        return "another process";
    return "process " + pid;
}

void WriteHolder(int fd)
{
    // Only the wording of another run's refusal depends on it, so a failed write is let be.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0)
        (void)!::pwrite(fd, pid.data(), pid.size(), 0);
}

}  // namespace

InstanceGuard::Result InstanceGuard::Acquire(const std::string& state_directory,
                                             std::unique_ptr<InstanceGuard>& guard, std::string* reason,
                                             const std::string& name)
{
    const auto fail = [reason](std::string why) {
        if (reason != nullptr)
            *reason = std::move(why);
        return Result::Failed;
    };
    guard.reset();
    if (!PrepareLockFolder(state_directory, reason))
        return Result::Failed;
    std::string path = JoinPath(state_directory, name == kInstanceLockName ? name : name + ".lock");
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
        if (err == EWOULDBLOCK) {
            if (reason != nullptr)
                *reason = HolderOf(fd);
            ::close(fd);
            return Result::HeldElsewhere;
        }
        ::close(fd);
        return fail("cannot lock " + path + ": " + std::strerror(err));
    }
    WriteHolder(fd);
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
