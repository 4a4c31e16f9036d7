#include "platform/ProfileFile.h"

#include <fstream>

#include "platform/Paths.h"

namespace verup {
namespace {

// The whole file; Absent when it cannot be read, TooLarge (content empty) beyond the limit.
ProfileSnapshot::Status ReadWhole(const std::string& path, std::string& content)
{
    content.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return ProfileSnapshot::Status::Absent;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        content.append(chunk, static_cast<std::size_t>(in.gcount()));
        if (content.size() > kMaxProfileFileBytes) {
            content.clear();
            return ProfileSnapshot::Status::TooLarge;
        }
    }
    if (in.bad())
        return ProfileSnapshot::Status::Absent;
    return ProfileSnapshot::Status::Read;
}

// Keeps the file's permissions; a new file gets the usual 0644.
bool ReplaceAtomically(const std::string& path, const std::string& content)
{
    return WriteFileAtomically(path, content, FileModeOr(path, 0644));
}

}  // namespace

ProfileSnapshot ProfileFile::Read() const
{
    std::string content;
    const ProfileSnapshot::Status status = ReadWhole(path_, content);
    if (status != ProfileSnapshot::Status::Read) {
        ProfileSnapshot snapshot;
        snapshot.status_ = status;
        return snapshot;
    }
    return ProfileSnapshot::Parse(content);
}

int ProfileFile::GetInt(std::string_view section, std::string_view key, int def) const
{
    return Read().GetInt(section, key, def);
}

std::string ProfileFile::GetString(std::string_view section, std::string_view key, std::string_view def,
                                   std::size_t buffer_size) const
{
    return Read().GetString(section, key, def, buffer_size);
}

bool ProfileFile::HasKey(std::string_view section, std::string_view key) const
{
    return Read().HasKey(section, key);
}

bool ProfileFile::WriteString(std::string_view section, std::string_view key, std::string_view value) const
{
    if (!IsProfileEntry(section, key, value))
        return false;
    std::string content;
    const ProfileSnapshot::Status status = ReadWhole(path_, content);
    if (status == ProfileSnapshot::Status::TooLarge ||
        (status == ProfileSnapshot::Status::Absent && FileExists(path_)))
        return false;  // present but unreadable: never replace what we could not read
    return ReplaceAtomically(path_, ProfileWithString(content, section, key, value));
}

}  // namespace verup
