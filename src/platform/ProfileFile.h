#pragma once
// INI ("private profile") file access with the reading and writing rules the configuration
// file was written for. Every call reads the file afresh, as the configuration is shared
// with the connection dialogs that write to it. Texts are bytes (CP932), never converted.
#include <cstddef>
#include <string>
#include <string_view>

namespace verup {

class ProfileFile {
public:
    explicit ProfileFile(std::string path) : path_(std::move(path)) {}
    const std::string& Path() const { return path_; }

    // As GetPrivateProfileIntA: the value's leading decimal number, `def` when absent.
    int GetInt(std::string_view section, std::string_view key, int def) const;
    // As GetPrivateProfileStringA with a buffer of `buffer_size` bytes: at most
    // buffer_size - 1 bytes are returned; `def` when the key is absent.
    std::string GetString(std::string_view section, std::string_view key, std::string_view def,
                          std::size_t buffer_size) const;
    bool HasKey(std::string_view section, std::string_view key) const;
    // As WritePrivateProfileStringA: changes only that key's line (or adds the key, or the
    // section); every other byte of the file stays. The file is replaced atomically.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value) const;

private:
    std::string path_;
};

}  // namespace verup
