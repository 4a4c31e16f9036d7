#include "platform/Console.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <iostream>
#include <mutex>
#include <streambuf>
#include <string>

namespace verup {
namespace {

// Hands UTF-8 text to a console as UTF-16 (WriteConsoleW), whatever the console's code page.
// A character split across two writes is held until its last byte comes.
class ConsoleBuffer final : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console) : console_(console) {}

protected:
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        const char byte = traits_type::to_char_type(c);
        return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
    }

    std::streamsize xsputn(const char* data, std::streamsize count) override
    {
        std::lock_guard lock(mutex_);
        pending_.append(data, static_cast<std::size_t>(count));
        const std::size_t complete = CompleteLength(pending_);
        if (complete > 0) {
            const int units = ::MultiByteToWideChar(CP_UTF8, 0, pending_.data(), static_cast<int>(complete), nullptr, 0);
            std::wstring wide(static_cast<std::size_t>(units), L'\0');
            ::MultiByteToWideChar(CP_UTF8, 0, pending_.data(), static_cast<int>(complete), wide.data(), units);
            for (std::size_t done = 0; done < wide.size();) {
                DWORD written = 0;
                if (!::WriteConsoleW(console_, wide.data() + done, static_cast<DWORD>(wide.size() - done), &written,
                                     nullptr) ||
                    written == 0)
                    break;
                done += written;
            }
            pending_.erase(0, complete);
        }
        return count;
    }

private:
    // The length of `text` up to the start of an unfinished UTF-8 sequence at its end.
    static std::size_t CompleteLength(const std::string& text)
    {
        std::size_t start = text.size();
        for (int back = 0; back < 4 && start > 0; ++back) {
            const auto byte = static_cast<unsigned char>(text[start - 1]);
            if ((byte & 0xC0) != 0x80) {
                const std::size_t need = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
                return text.size() - (start - 1) >= need ? text.size() : start - 1;
            }
            --start;
        }
        return text.size();
    }

    HANDLE console_;
    std::mutex mutex_;
    std::string pending_;
};

bool IsConsole(HANDLE handle)
{
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

void Prepare(DWORD which, FILE* file, std::ostream& stream)
{
    const HANDLE handle = ::GetStdHandle(which);
    if (!IsConsole(handle)) {
        // Redirected: the same UTF-8 bytes as on other systems, without a CR added before LF.
        ::_setmode(::_fileno(file), _O_BINARY);
        return;
    }
    // The progress bar redraws its line with escape sequences where the console knows them.
    DWORD mode = 0;
    if (::GetConsoleMode(handle, &mode))
        ::SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    // Lives as long as the stream that writes through it.
    static ConsoleBuffer* const buffers[2] = {new ConsoleBuffer(::GetStdHandle(STD_OUTPUT_HANDLE)),
                                              new ConsoleBuffer(::GetStdHandle(STD_ERROR_HANDLE))};
    stream.flush();
    stream.rdbuf(buffers[which == STD_OUTPUT_HANDLE ? 0 : 1]);
}

}  // namespace

bool StdoutIsTerminal() { return IsConsole(::GetStdHandle(STD_OUTPUT_HANDLE)); }

void PrepareConsoleOutput()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Prepare(STD_OUTPUT_HANDLE, stdout, std::cout);
        Prepare(STD_ERROR_HANDLE, stderr, std::cerr);
    });
}

}  // namespace verup
