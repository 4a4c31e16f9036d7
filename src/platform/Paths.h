#pragma once
// Where the tool finds and keeps its files on this platform.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace verup {

inline constexpr char kConfigFileName[] = "verup.dat";
// Files being written atomically are named ".verup-<pid>-XXXXXX" until their rename.
inline constexpr char kTemporaryFilePrefix[] = ".verup-";

// The process's current directory ("" when it cannot be read).
std::string CurrentDirectory();
// $XDG_STATE_HOME/verup, else ~/.local/state/verup: the folder of the settings backups and of
// the lock that keeps two copies of the tool from using them at once.
std::string DefaultStateDirectory();

// `directory` + "/" + name, without doubling the slash of the root folder.
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

}  // namespace verup
