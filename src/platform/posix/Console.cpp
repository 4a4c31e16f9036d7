#include "platform/Console.h"

#include <unistd.h>

namespace verup {

bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

// Terminals here take UTF-8 as it is.
void PrepareConsoleOutput() {}

}  // namespace verup
