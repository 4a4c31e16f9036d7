// Prints what the Windows private-profile functions answer for each query line "SECTION|KEY"
// of QUERIES on FILE: "SECTION|KEY|string|integer", the string read with the default
// "<absent>" into 256 bytes and the integer with the default -7. profile-answers.sh runs it.
#include <windows.h>
#include <cstdio>
#include <fstream>
#include <string>
int main(int argc, char** argv)
{
    if (argc != 3) return 2;
    char full[MAX_PATH];
    GetFullPathNameA(argv[1], MAX_PATH, full, nullptr);
    std::ifstream q(argv[2]);
    std::string line;
    while (std::getline(q, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto bar = line.find('|');
        if (bar == std::string::npos) continue;
        const std::string section = line.substr(0, bar), key = line.substr(bar + 1);
        char buf[256];
        GetPrivateProfileStringA(section.c_str(), key.c_str(), "<absent>", buf, sizeof buf, full);
        const UINT n = GetPrivateProfileIntA(section.c_str(), key.c_str(), -7, full);
        std::printf("%s|%s|%s|%d\n", section.c_str(), key.c_str(), buf, static_cast<int>(n));
    }
}
