#pragma once
// The compiler's check of a printf-like function's arguments, against the printf family the
// tool is built with: C99's everywhere (on Windows, mingw's own rather than the system's, which
// lacks formats such as %zu).
#if defined(__MINGW32__)
#define VERUP_PRINTF_FORMAT(format_index, first_argument) \
    __attribute__((format(gnu_printf, format_index, first_argument)))
#else
#define VERUP_PRINTF_FORMAT(format_index, first_argument) \
    __attribute__((format(printf, format_index, first_argument)))
#endif
