#include "platform/Paths.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cerrno>
#include <memory>
#include <random>

#include "platform/win32/Win32Error.h"

namespace verup {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::string Environment(const char* name)
{
    const DWORD size = ::GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0)
        return std::string();
    std::string value(size, '\0');
    const DWORD length = ::GetEnvironmentVariableA(name, value.data(), size);
    if (length == 0 || length >= size)
        return std::string();
    value.resize(length);
    return value;
}

std::string ParentOf(const std::string& path)
{
    std::size_t end = path.size();
    while (end > 0 && IsSeparator(path[end - 1]))
        --end;
    while (end > 0 && !IsSeparator(path[end - 1]))
        --end;
    if (end == 0)
        return ".";
    std::string parent = path.substr(0, end);
    // "C:\" and "\" stay whole; any other folder loses its closing separator.
    if (parent.size() > 1 && !(parent.size() == 3 && parent[1] == ':'))
        parent.pop_back();
    return parent;
}

void SetErrnoFromLastError() { errno = ErrnoOfWin32Error(::GetLastError()); }

std::time_t TimeOf(const FILETIME& time)
{
    // FILETIME counts 100 ns from 1601-01-01; time_t seconds from 1970-01-01.
    const ULONGLONG ticks = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    constexpr ULONGLONG kEpochDifference = 116444736000000000ULL;
    return ticks < kEpochDifference ? 0 : static_cast<std::time_t>((ticks - kEpochDifference) / 10000000ULL);
}

// The security identifiers of this process's user and of the default owner of what it makes
// (the Administrators group for an elevated administrator).
class TokenIdentity {
public:
    TokenIdentity()
    {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
            return;
        user_ = Query(token, TokenUser);
        owner_ = Query(token, TokenOwner);
        ::CloseHandle(token);
    }
    PSID User() const { return user_.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(user_.data())->User.Sid; }
    PSID Owner() const
    {
        return owner_.empty() ? nullptr : reinterpret_cast<const TOKEN_OWNER*>(owner_.data())->Owner;
    }

private:
    static std::string Query(HANDLE token, TOKEN_INFORMATION_CLASS what)
    {
        DWORD size = 0;
        ::GetTokenInformation(token, what, nullptr, 0, &size);
        std::string buffer(size, '\0');
        if (size == 0 || !::GetTokenInformation(token, what, buffer.data(), size, &size))
            return std::string();
        return buffer;
    }
    std::string user_;
    std::string owner_;
};

// A folder only this user may enter: a protected list with one entry, inherited by what is
// made inside.
class PrivateFolderSecurity {
public:
    explicit PrivateFolderSecurity(PSID user)
    {
        char* sid = nullptr;
        if (user == nullptr || !::ConvertSidToStringSidA(user, &sid))
            return;
        const std::string sddl = std::string("D:P(A;OICI;FA;;;") + sid + ")";
        ::LocalFree(sid);
        if (::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor_,
                                                                   nullptr))
            attributes_ = SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), descriptor_, FALSE};
    }
    ~PrivateFolderSecurity()
    {
        if (descriptor_ != nullptr)
            ::LocalFree(descriptor_);
    }
    PrivateFolderSecurity(const PrivateFolderSecurity&) = delete;
    PrivateFolderSecurity& operator=(const PrivateFolderSecurity&) = delete;
    SECURITY_ATTRIBUTES* Attributes() { return descriptor_ != nullptr ? &attributes_ : nullptr; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

bool OwnedByThisUser(const std::string& path, const TokenIdentity& identity)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const bool mine = owner != nullptr && ((identity.User() != nullptr && ::EqualSid(owner, identity.User())) ||
                                           (identity.Owner() != nullptr && ::EqualSid(owner, identity.Owner())));
    ::LocalFree(descriptor);
    return mine;
}

bool MakePrivateDirectory(const std::string& directory, const TokenIdentity& identity)
{
    const DWORD attributes = ::GetFileAttributesA(directory.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            errno = ErrnoOfWin32Error(error);
            return false;
        }
        const std::string parent = ParentOf(directory);
        if (parent != directory && ::GetFileAttributesA(parent.c_str()) == INVALID_FILE_ATTRIBUTES &&
            !MakePrivateDirectory(parent, identity))
            return false;
        PrivateFolderSecurity security(identity.User());
        if (!::CreateDirectoryA(directory.c_str(), security.Attributes()) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
            SetErrnoFromLastError();
            return false;
        }
        return MakePrivateDirectory(directory, identity);
    }
    // A link or junction could lead anywhere; a folder someone else made is not ours.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;
    return OwnedByThisUser(directory, identity);
}

}  // namespace

std::string CurrentDirectory()
{
    const DWORD size = ::GetCurrentDirectoryA(0, nullptr);
    if (size == 0)
        return std::string();
    std::string directory(size, '\0');
    const DWORD length = ::GetCurrentDirectoryA(size, directory.data());
    if (length == 0 || length >= size)
        return std::string();
    directory.resize(length);
    return directory;
}

bool ChangeDirectory(const std::string& directory)
{
    if (::SetCurrentDirectoryA(directory.c_str()))
        return true;
    SetErrnoFromLastError();
    return false;
}

std::string DefaultStateDirectory()
{
    std::string base = Environment("LOCALAPPDATA");
    if (base.empty()) {
        const std::string profile = Environment("USERPROFILE");
        if (!profile.empty())
            base = JoinPath(profile, "AppData\\Local");
    }
    if (base.empty()) {
        char windows[MAX_PATH] = {};
        const UINT length = ::GetWindowsDirectoryA(windows, sizeof windows);
        base.assign(windows, length < sizeof windows ? length : 0);
    }
    return JoinPath(base, "verup");
}

bool EnsurePrivateDirectory(const std::string& directory)
{
    if (directory.empty())
        return false;
    const TokenIdentity identity;
    return MakePrivateDirectory(directory, identity);
}

// Access on Windows comes from the folder's list, which the new file inherits; `mode` has no
// counterpart here.
bool WriteFileAtomically(const std::string& path, std::string_view content, mode_t, bool replace)
{
    const std::string folder = ParentOf(path);
    std::mt19937 random(std::random_device{}());
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        std::string suffix(6, 'X');
        for (char& c : suffix)
            c = kLetters[random() % (sizeof kLetters - 1)];
        temp = JoinPath(folder, kTemporaryFilePrefix + std::to_string(::GetCurrentProcessId()) + "-" + suffix);
        file = ::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) {
            SetErrnoFromLastError();
            return false;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        errno = EEXIST;
        return false;
    }
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < content.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1u << 20));
        DWORD written = 0;
        ok = ::WriteFile(file, content.data() + done, chunk, &written, nullptr) && written > 0;
        done += written;
    }
    ok = ok && ::FlushFileBuffers(file);
    DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
    ok = ::CloseHandle(file) && ok;
    if (ok) {
        // Without MOVEFILE_REPLACE_EXISTING the move fails on an existing name.
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
        ok = ::MoveFileExA(temp.c_str(), path.c_str(), flags);
        if (!ok)
            error = ::GetLastError();
    }
    if (!ok) {
        ::DeleteFileA(temp.c_str());
        errno = ErrnoOfWin32Error(error);
    }
    return ok;
}

bool RemoveFile(const std::string& path)
{
    if (::DeleteFileA(path.c_str()))
        return true;
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return true;
    errno = ErrnoOfWin32Error(error);
    return false;
}

bool FileExists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsRegularFile(const std::string& path, FileInfo* info)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    constexpr DWORD kNotRegular = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    if ((data.dwFileAttributes & kNotRegular) != 0)
        return false;
    if (info != nullptr)
        *info = FileInfo{(static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                         TimeOf(data.ftLastWriteTime)};
    return true;
}

mode_t FileModeOr(const std::string& path, mode_t fallback)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return fallback;
    return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0644;
}

std::vector<std::string> FolderEntries(const std::string& directory)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found{};
    HANDLE search = ::FindFirstFileA(JoinPath(directory, "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.emplace_back(found.cFileName);
    while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return names;
}

}  // namespace verup
