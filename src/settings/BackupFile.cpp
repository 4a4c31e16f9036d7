#include "settings/BackupFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "package/Config.h"
#include "platform/Paths.h"
#include "settings/SettingsTable.h"

namespace verup {
namespace {

constexpr char kLineEnd[] = "\r\n";

}  // namespace

std::string FormatBackupFile(const std::string& title, const SettingsTable& table, const SettingsLayoutTable& layout)
{
    std::string text = title + kLineEnd;
    for (int b = 1; b <= layout.BlockCount; ++b)
        for (int i = 1; i <= layout.Items(b); ++i) {
            text += table.Item(b, i);
            text += kLineEnd;
        }
    return text;
}

bool BackupFileReader::StartsWithTitle(std::string_view title)
{
    const std::size_t end = content_.find('\r');
    if (end == std::string::npos)
        return false;
    if (std::string_view(content_).substr(0, end) != title)
        return false;
    position_ = end + 2;
    return true;
}

bool BackupFileReader::NextItem(std::string& item)
{
    if (position_ >= content_.size())
        return false;
    const std::size_t end = content_.find('\r', position_);
    if (end == std::string::npos)
        return false;
    item.assign(content_, position_, end - position_);
    position_ = end + 2;
    return true;
}

bool ReadBackupFile(const std::string& path, std::string& content, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<unsigned long long>(size) > kMaxBackupFileSize) {
        error = "unexpected size of " + path;
        return false;
    }
    in.seekg(0, std::ios::beg);
    content.assign(static_cast<std::size_t>(size), '\0');
    if (!in.read(content.data(), size)) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

namespace {

bool WriteInPrivateFolder(const std::string& path, std::string_view content, bool replace, std::string& error)
{
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (!folder.empty() && !EnsurePrivateDirectory(folder)) {
        error = "cannot use the folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    if (!WriteFileAtomically(path, content, 0600, replace)) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

bool WriteBackupFile(const std::string& path, std::string_view content, std::string& error)
{
    return WriteInPrivateFolder(path, content, true, error);
}

bool WriteNewBackupFile(const std::string& path, std::string_view content, std::string& error)
{
    if (path.empty()) {
        error = "no name for the settings backup";
        return false;
    }
    return WriteInPrivateFolder(path, content, false, error);
}

}  // namespace verup
