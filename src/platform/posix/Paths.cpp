#include "platform/Paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace verup {
namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string HomeDirectory()
{
    std::string home = Environment("HOME");
    if (!home.empty())
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr)
        return pw->pw_dir;
    return "/tmp";
}

std::string ParentOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

}  // namespace

std::string CurrentDirectory()
{
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() > (1u << 20))
            return std::string();
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

bool ChangeDirectory(const std::string& directory) { return ::chdir(directory.c_str()) == 0; }

std::string DefaultStateDirectory()
{
    const std::string xdg = Environment("XDG_STATE_HOME");
    if (!xdg.empty() && xdg.front() == '/')
        return JoinPath(xdg, "verup");
    return JoinPath(HomeDirectory(), ".local/state/verup");
}

bool EnsurePrivateDirectory(const std::string& directory)
{
    if (directory.empty())
        return false;
    struct stat st {};
    if (::lstat(directory.c_str(), &st) != 0) {
        if (errno != ENOENT)
            return false;
        const std::string parent = ParentOf(directory);
        if (parent != directory && ::access(parent.c_str(), F_OK) != 0 && !EnsurePrivateDirectory(parent))
            return false;
        if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (::lstat(directory.c_str(), &st) != 0)
            return false;
    }
    // A folder someone else made (for instance in /tmp) or may write into is not ours.
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 022) == 0;
}

bool WriteFileAtomically(const std::string& path, std::string_view content, mode_t mode, bool replace)
{
    std::string temp =
        JoinPath(ParentOf(path), kTemporaryFilePrefix + std::to_string(::getpid()) + "-XXXXXX");
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, mode) == 0;
    std::size_t done = 0;
    while (ok && done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (replace) {
        ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
        if (!ok)
            ::unlink(temp.c_str());
        return ok;
    }
    // A hard link is made only when the name is free; the temporary name then goes.
    ok = ok && ::link(temp.c_str(), path.c_str()) == 0;
    const int err = errno;
    ::unlink(temp.c_str());
    errno = err;
    return ok;
}

bool RemoveFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool FileExists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& path, FileInfo* info)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (info != nullptr)
        *info = FileInfo{static_cast<std::uint64_t>(st.st_size), st.st_mtime};
    return true;
}

mode_t FileModeOr(const std::string& path, mode_t fallback)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<mode_t>(st.st_mode & 07777) : fallback;
}

std::vector<std::string> FolderEntries(const std::string& directory)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr)
        return names;
    while (const dirent* entry = ::readdir(dir))
        names.emplace_back(entry->d_name);
    ::closedir(dir);
    return names;
}

}  // namespace verup
