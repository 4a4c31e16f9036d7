#include "platform/Paths.h"

namespace verup {

std::string JoinPath(std::string_view directory, std::string_view name)
{
    std::string path(directory);
    if (path.empty() || (path.back() != '/' && path.back() != kPathSeparator))
        path += kPathSeparator;
    path += name;
    return path;
}

std::string ConfigFilePathIn(std::string_view directory) { return JoinPath(directory, kConfigFileName); }

pid_t TemporaryFileWriter(std::string_view name)
{
    const std::string_view prefix = kTemporaryFilePrefix;
    if (name.substr(0, prefix.size()) != prefix)
        return 0;
    name.remove_prefix(prefix.size());
    pid_t pid = 0;
    std::size_t digits = 0;
    for (; digits < name.size() && name[digits] >= '0' && name[digits] <= '9' && pid < 100000000; ++digits)
        pid = pid * 10 + (name[digits] - '0');
    return digits > 0 && digits < name.size() && name[digits] == '-' ? pid : 0;
}

}  // namespace verup
