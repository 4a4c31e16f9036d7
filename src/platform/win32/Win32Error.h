#pragma once
// Windows error codes as the rest of the tool knows them: a readable text and an errno value.
#include <windows.h>

#include <string>

namespace verup {

// The system's text for `code` (GetLastError), without its line break.
std::string Win32ErrorText(DWORD code);
// The errno value nearest to `code`; EIO for anything without one.
int ErrnoOfWin32Error(DWORD code);

}  // namespace verup
