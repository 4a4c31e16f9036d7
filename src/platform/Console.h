#pragma once
// The terminal the command line writes to.

namespace verup {

// Whether standard output is a terminal (a console) rather than a file or a pipe.
bool StdoutIsTerminal();
// Prepares std::cout and std::cerr for the tool's UTF-8 text: where the terminal does not take
// UTF-8 bytes as they are, they are converted on the way out. Redirected output stays UTF-8.
void PrepareConsoleOutput();

}  // namespace verup
