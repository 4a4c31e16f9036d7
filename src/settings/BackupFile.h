#pragma once
// The settings backup file: the title line, then every item of every block of a layout in
// order, each line ending in CR LF; no count, no trailer. The layout is not in the file.
//
// Example (title "NEXAVO7300QB　X　Ver 1.01", one block of two items "A" and ""):
//   "NEXAVO7300QB\x81\x40X\x81\x40Ver 1.01\r\nA\r\n\r\n"
#include <cstddef>
#include <string>
#include <string_view>

namespace verup {

class SettingsTable;
struct SettingsLayoutTable;

// The whole file for `layout`'s slots of `table`.
std::string FormatBackupFile(const std::string& title, const SettingsTable& table, const SettingsLayoutTable& layout);

// Walks the lines of a backup file held in memory.
class BackupFileReader {
public:
    explicit BackupFileReader(std::string content) : content_(std::move(content)) {}

    // Checks the first line (exact, case-sensitive) and moves to the first item.
    bool StartsWithTitle(std::string_view title);
    // The next item: the text up to the next CR; reading goes on two bytes after it.
    // False when the file ends first.
    bool NextItem(std::string& item);

private:
    std::string content_;
    std::size_t position_ = 0;
};

// Backups beyond this size are not ours (128 blocks of 1024 items of a few hundred bytes).
inline constexpr std::size_t kMaxBackupFileSize = 64u << 20;

// The whole file, or false with a reason.
bool ReadBackupFile(const std::string& path, std::string& content, std::string& error);

// Writes the file durably: a temporary file beside it, flushed to disk, renamed over the old
// one (mode 0600, the folder made 0700 when missing). An old file stays untouched on failure.
bool WriteBackupFile(const std::string& path, std::string_view content, std::string& error);
// The same for a file that must be new: an existing `path` (another run's file) is never
// replaced, the write fails instead.
bool WriteNewBackupFile(const std::string& path, std::string_view content, std::string& error);

}  // namespace verup
