#pragma once
// Where the tool finds and keeps its files on this platform.
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace verup {

inline constexpr char kConfigFileName[] = "verup.dat";
// The separator JoinPath puts between a folder and a name; '/' is understood everywhere.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif
// Files being written atomically are named ".verup-<pid>-XXXXXX" until their rename.
inline constexpr char kTemporaryFilePrefix[] = ".verup-";

// The process's current directory ("" when it cannot be read).
std::string CurrentDirectory();
// Makes `directory` the current one; false (errno set) when it cannot.
bool ChangeDirectory(const std::string& directory);
// $XDG_STATE_HOME/verup, else ~/.local/state/verup: the folder of the settings backups and of
// the lock that keeps two copies of the tool from using them at once.
std::string DefaultStateDirectory();

// `directory` + kPathSeparator + name, without doubling a separator the folder ends in.
std::string JoinPath(std::string_view directory, std::string_view name);
std::string ConfigFilePathIn(std::string_view directory);

// Creates `directory` (and missing parents) with mode 0700. An existing folder must be a
// real directory owned by this user that nobody else may write into.
bool EnsurePrivateDirectory(const std::string& directory);

// Replaces `path` with `content` through a temporary file in the same folder and a rename,
// the new file having `mode`; on failure the old file stays as it was. With `replace` false an
// existing `path` is never touched: the write fails with errno EEXIST.
bool WriteFileAtomically(const std::string& path, std::string_view content, mode_t mode = 0600,
                         bool replace = true);

// The process that wrote the temporary file `name` (a name of WriteFileAtomically), or 0.
pid_t TemporaryFileWriter(std::string_view name);

// Deletes the file; true when it is gone afterwards (also when it never existed).
bool RemoveFile(const std::string& path);
bool FileExists(const std::string& path);
struct FileInfo {
    std::uint64_t Size = 0;
    std::time_t Modified = 0;  // the last change of the content
};
// True when `path` itself (not a link's target) is a regular file; its size and time in `info`.
bool IsRegularFile(const std::string& path, FileInfo* info = nullptr);
// The permission bits of the file at `path`, or `fallback` when it cannot be examined.
mode_t FileModeOr(const std::string& path, mode_t fallback);
// The names in `directory`, in the system's order ("." and ".." among them where the system
// lists them); empty when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& directory);

}  // namespace verup
