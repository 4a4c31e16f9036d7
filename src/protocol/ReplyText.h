#pragma once
// The text operations on device replies. Replies are CP932 bytes; like the device's own
// zero-terminated texts, FindText and GetToken stop at the first zero byte.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace verup {

// 1-based position of the first occurrence of `word` in `text`, ASCII letters compared
// case-insensitively (also inside double-byte characters); 0 when absent. An empty word is
// found at 1. Example: FindText("\r\nOK\r\n", "ok") == 3.
int FindText(std::string_view text, std::string_view word);

// The folding FindText compares with: ASCII capitals to lower case, every other byte as it is.
unsigned char FoldByte(char c);
// Whether `text` ends with `word`, compared as FindText compares (or byte for byte when
// `exact`). The recognizers ask this for each new byte instead of rescanning the reply.
bool EndsWithWord(std::string_view text, std::string_view word, bool exact = false);

// Delimiters of GetToken, by selector 0 ... 8 (add 10 to require the delimiter).
inline constexpr char kTokenDelimiters[9] = {' ', '.', ',', '/', '-', ':', '*', '\r', '\0'};

// Copies the text before the first delimiter of `selector` into `output` and returns its
// length. Selectors 0 ... 8: a missing delimiter gives the whole text. Selectors 10 ... 18:
// a missing delimiter gives -1 and leaves `output` alone; so does any other selector.
// Tokens of any length are returned whole.
// Example: GetToken("1.10\r\nOK", out, 7) == 4, out == "1.10".
int GetToken(std::string_view text, std::string& output, int selector);

// The text from `mark` (found as FindText finds it) on, up to the first zero byte and at most
// `length` bytes (none when `length` is below 1); nullopt without the mark.
// Example: TextFrom("at%i2\r\r\nVersion 1.20 2026/04/01\r\n", "Version ", 12) == "Version 1.20".
std::optional<std::string> TextFrom(std::string_view reply, std::string_view mark, int length);

// 1 when "Password: " (exactly, with the blank) lies within the first `length` bytes of
// `text` (never beyond its end), else 0.
int HasPasswordPrompt(std::string_view text, std::size_t length);

}  // namespace verup
