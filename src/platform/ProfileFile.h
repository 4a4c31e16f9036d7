#pragma once
// INI ("private profile") file access with the reading and writing rules the configuration
// file was written for. Every call reads the file afresh, as the configuration is shared
// with the connection dialogs that write to it; Read() takes one parsed snapshot for a
// reader of many keys. Texts are bytes (CP932), never converted.
//
// Parsing rules: those of the Windows private-profile functions, checked against them on
// the files in tests/data/profile/:
//  - A line ends at CR LF, LF or a lone CR.
//  - Blanks (space, tab, the other C white space and 0x1A) around names and values are ignored,
//    in the file and in the names asked for.
//  - A line that starts with '[' and holds a ']' opens a section named by what lies between
//    the '[' and the last ']'. A '[' line without ']' is an ordinary line.
//  - "KEY=VALUE": the first '=' splits. One pair of matching surrounding quotes ("..." or
//    '...') is stripped from VALUE. There are no comments: ";KEY=1" is the key ";KEY".
//  - Other lines carry no key.
//  - Section and key names match ASCII case-insensitively (CP932 bytes above 0x7F as is).
//  - Keys before the first section belong to the section named "".
//  - A key that appears twice in a section: the first one counts. A section that appears
//    twice: only its first appearance is read and written.
//  - A key present with an empty value reads as the empty text (GetString) and as the
//    default (GetInt), as GetPrivateProfileIntA does.
//
// Example: the lines
//   [verup]
//     num = "Version 1.20"
// give GetString("VERUP", "NUM", ...) == "Version 1.20". A ';' after a value is part of it.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace verup {

// No configuration file comes near this size; a larger file reads as absent and is never
// rewritten, so a wrong or damaged file cannot take the reader's time and memory.
inline constexpr std::size_t kMaxProfileFileBytes = 1u << 20;

// One reading of a profile file, parsed once: each lookup is a hash lookup, whatever the
// file's size. The getters behave as ProfileFile's.
class ProfileSnapshot {
public:
    enum class Status { Read, Absent, TooLarge };

    ProfileSnapshot() = default;
    // The content of a file (at most kMaxProfileFileBytes; a larger one gives TooLarge).
    static ProfileSnapshot Parse(std::string_view content);
    Status State() const { return status_; }

    int GetInt(std::string_view section, std::string_view key, int def) const;
    std::string GetString(std::string_view section, std::string_view key, std::string_view def,
                          std::size_t buffer_size) const;
    bool HasKey(std::string_view section, std::string_view key) const;

private:
    friend class ProfileFile;
    // A value as the system's own profile reader gave it; the first one of a name counts.
    void Add(std::string_view section, std::string_view key, std::string value);
    const std::string* Find(std::string_view section, std::string_view key) const;

    Status status_ = Status::Absent;
    // Folded section name, '\n', folded key name -> value with its quotes stripped. Names
    // never hold a line break, so the pair is unambiguous.
    std::unordered_map<std::string, std::string> values_;
};

// Whether WriteString takes this entry: non-empty names, no line break anywhere, no '=' in the key.
bool IsProfileEntry(std::string_view section, std::string_view key, std::string_view value);
// `content` as WriteString leaves it after writing that entry (see there).
std::string ProfileWithString(const std::string& content, std::string_view section, std::string_view key,
                              std::string_view value);

class ProfileFile {
public:
    explicit ProfileFile(std::string path) : path_(std::move(path)) {}
    const std::string& Path() const { return path_; }

    // As GetPrivateProfileIntA: of the value's first 29 bytes, an optional sign and the
    // leading digits, hexadecimal after "0x", octal after "0o", binary after "0b", decimal
    // otherwise ("0x10" reads 16, "0X10" and "abc" read 0, "12abc" reads 12); `def` when
    // absent or empty. Overflow wraps as a 32-bit accumulation does.
    int GetInt(std::string_view section, std::string_view key, int def) const;
    // As GetPrivateProfileStringA with a buffer of `buffer_size` bytes: at most
    // buffer_size - 1 bytes are returned; `def` (cut the same way) when the key is absent.
    std::string GetString(std::string_view section, std::string_view key, std::string_view def,
                          std::size_t buffer_size) const;
    bool HasKey(std::string_view section, std::string_view key) const;
    // The whole file, read and parsed once.
    ProfileSnapshot Read() const;
    // As WritePrivateProfileStringA: changes only that key's line (rewritten as the key as
    // spelled in the file, '=', the value), or adds the key at the end of the section, or
    // adds the section at the end of the file. Every other byte of the file stays; a file
    // whose lines end in CR LF gets CR LF on the new lines. The file is replaced atomically
    // (temporary file in the same folder, then rename) and keeps its permissions; on any
    // failure the old file stays untouched. Refuses (false) a section, key or value that
    // holds a line break, a key that holds '=', and an empty section or key, and never
    // rewrites a file larger than kMaxProfileFileBytes.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value) const;

private:
    std::string path_;
};

}  // namespace verup
