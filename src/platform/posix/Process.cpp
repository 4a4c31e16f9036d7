#include "platform/Process.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace verup {

pid_t CurrentProcessId() { return ::getpid(); }

bool ProcessIsRunning(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

}  // namespace verup
