#pragma once
// This process and others, as far as the tool needs to know them.
#include <sys/types.h>

namespace verup {

pid_t CurrentProcessId();
// Whether a process with this id is running (also one of another user's).
bool ProcessIsRunning(pid_t pid);

}  // namespace verup
