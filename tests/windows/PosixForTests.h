#pragma once
// The few POSIX calls the shared test helpers make, for the Windows build of the tests (put in
// front of every test file by the compiler).
#include <direct.h>
#include <io.h>

#include <cstdlib>
#include <cstring>

inline char* mkdtemp(char* pattern)
{
    if (::_mktemp_s(pattern, std::strlen(pattern) + 1) != 0 || ::_mkdir(pattern) != 0)
        return nullptr;
    return pattern;
}

// Folder modes keep no writer out on Windows: the tests that rely on them skip, as for root.
inline int geteuid() { return 0; }
