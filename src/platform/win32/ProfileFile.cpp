// The private-profile functions themselves, so that verup.dat reads exactly as the system's
// other programs read it.
#include "platform/ProfileFile.h"

#include <windows.h>

#include <vector>

namespace verup {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trimmed(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

// A name without a folder would be looked for in the Windows directory.
std::string ApiPath(const std::string& path)
{
    return path.find_first_of("/\\:") == std::string::npos ? ".\\" + path : path;
}

ProfileSnapshot::Status StatusOf(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return ProfileSnapshot::Status::Absent;
    const std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return size > kMaxProfileFileBytes ? ProfileSnapshot::Status::TooLarge : ProfileSnapshot::Status::Read;
}

// GetPrivateProfileStringA into a buffer grown until the answer fits. A list (section or key
// names: `section` or `key` null) ends in two NULs, which the system counts as its size - 2.
std::string ProfileString(const char* section, const char* key, const std::string& path)
{
    std::vector<char> buffer(4096);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = ::GetPrivateProfileStringA(section, key, "", buffer.data(), size, path.c_str());
        const bool list = section == nullptr || key == nullptr;
        if (length < size - (list ? 2 : 1) || buffer.size() > kMaxProfileFileBytes)
            return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 4);
    }
}

std::vector<std::string> SplitList(const std::string& list)
{
    std::vector<std::string> names;
    for (std::size_t pos = 0; pos < list.size();) {
        const std::size_t end = list.find('\0', pos);
        const std::size_t stop = end == std::string::npos ? list.size() : end;
        if (stop > pos)
            names.push_back(list.substr(pos, stop - pos));
        pos = stop + 1;
    }
    return names;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = (a[i] >= 'A' && a[i] <= 'Z') ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        const char y = (b[i] >= 'A' && b[i] <= 'Z') ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y)
            return false;
    }
    return true;
}

}  // namespace

ProfileSnapshot ProfileFile::Read() const
{
    const std::string path = ApiPath(path_);
    ProfileSnapshot snapshot;
    snapshot.status_ = StatusOf(path);
    if (snapshot.status_ != ProfileSnapshot::Status::Read)
        return snapshot;
    for (const std::string& section : SplitList(ProfileString(nullptr, nullptr, path)))
        for (const std::string& key : SplitList(ProfileString(section.c_str(), nullptr, path)))
            snapshot.Add(section, key, ProfileString(section.c_str(), key.c_str(), path));
    return snapshot;
}

int ProfileFile::GetInt(std::string_view section, std::string_view key, int def) const
{
    const std::string path = ApiPath(path_);
    if (StatusOf(path) != ProfileSnapshot::Status::Read)
        return def;
    return static_cast<int>(
        ::GetPrivateProfileIntA(std::string(section).c_str(), std::string(key).c_str(), def, path.c_str()));
}

std::string ProfileFile::GetString(std::string_view section, std::string_view key, std::string_view def,
                                   std::size_t buffer_size) const
{
    if (buffer_size == 0)
        return std::string();
    const std::string path = ApiPath(path_);
    std::string fallback(def);
    if (StatusOf(path) != ProfileSnapshot::Status::Read) {
        if (fallback.size() > buffer_size - 1)
            fallback.resize(buffer_size - 1);
        return fallback;
    }
    std::vector<char> buffer(buffer_size);
    const DWORD length = ::GetPrivateProfileStringA(std::string(section).c_str(), std::string(key).c_str(),
                                                    fallback.c_str(), buffer.data(),
                                                    static_cast<DWORD>(buffer_size), path.c_str());
    return std::string(buffer.data(), length);
}

bool ProfileFile::HasKey(std::string_view section, std::string_view key) const
{
    const std::string path = ApiPath(path_);
    if (StatusOf(path) != ProfileSnapshot::Status::Read)
        return false;
    const std::string wanted = Trimmed(key);
    for (const std::string& name : SplitList(ProfileString(std::string(section).c_str(), nullptr, path)))
        if (SameName(name, wanted))
            return true;
    return false;
}

bool ProfileFile::WriteString(std::string_view section, std::string_view key, std::string_view value) const
{
    if (!IsProfileEntry(section, key, value))
        return false;
    const std::string path = ApiPath(path_);
    // Present but unreadable or too large: never replace what could not be read.
    if (StatusOf(path) != ProfileSnapshot::Status::Read && ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    return ::WritePrivateProfileStringA(Trimmed(section).c_str(), Trimmed(key).c_str(), std::string(value).c_str(),
                                        path.c_str()) != 0;
}

}  // namespace verup
