#pragma once
// Where the tool finds and keeps its files on this platform.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace verup {

inline constexpr char kConfigFileName[] = "verup.dat";
inline constexpr char kBackupFileName[] = "7300qb.tmp";

// The process's current directory ("" when it cannot be read).
std::string CurrentDirectory();
// $XDG_RUNTIME_DIR, else /tmp/verup-<uid>.
std::string DefaultRuntimeDirectory();
// $XDG_STATE_HOME/verup, else ~/.local/state/verup: the settings backup's folder.
std::string DefaultStateDirectory();

// `directory` + "/" + name, without doubling the slash of the root folder.
std::string JoinPath(std::string_view directory, std::string_view name);
std::string ConfigFilePathIn(std::string_view directory);
std::string BackupFilePathIn(std::string_view state_directory);

// Creates `directory` (and missing parents) with mode 0700. An existing folder must be a
// real directory owned by this user that nobody else may write into.
bool EnsurePrivateDirectory(const std::string& directory);

// Replaces `path` with `content` through a temporary file in the same folder and a rename,
// the new file having `mode`; on failure the old file stays as it was.
bool WriteFileAtomically(const std::string& path, std::string_view content, mode_t mode = 0600);

// Deletes the file; true when it is gone afterwards (also when it never existed).
bool RemoveFile(const std::string& path);
bool FileExists(const std::string& path);

}  // namespace verup
