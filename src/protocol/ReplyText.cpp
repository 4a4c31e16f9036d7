#include "protocol/ReplyText.h"

namespace verup {
namespace {

std::string_view UpToZero(std::string_view text)
{
    const std::size_t zero = text.find('\0');
    return zero == std::string_view::npos ? text : text.substr(0, zero);
}

constexpr std::string_view kPasswordPrompt = "Password: ";

}  // namespace

unsigned char FoldByte(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

bool EndsWithWord(std::string_view text, std::string_view word, bool exact)
{
    if (word.size() > text.size())
        return false;
    const std::string_view tail = text.substr(text.size() - word.size());
    if (exact)
        return tail == word;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (FoldByte(tail[i]) != FoldByte(word[i]))
            return false;
    return true;
}

int FindText(std::string_view text, std::string_view word)
{
    text = UpToZero(text);
    word = UpToZero(word);
    if (word.size() > text.size())
        return 0;
    for (std::size_t p = 0; p + word.size() <= text.size(); ++p) {
        std::size_t i = 0;
        while (i < word.size() && FoldByte(text[p + i]) == FoldByte(word[i]))
            ++i;
        if (i == word.size())
            return static_cast<int>(p + 1);
    }
    return 0;
}

int GetToken(std::string_view text, std::string& output, int selector)
{
    const bool required = selector >= 10;
    const int index = required ? selector - 10 : selector;
    if (index < 0 || index > 8)
        return -1;
    text = UpToZero(text);
    const std::size_t end = text.find(kTokenDelimiters[index]);
    // The zero delimiter is always "found" at the end of the text.
    if (end == std::string_view::npos && required && index != 8)
        return -1;
    const std::string_view token = end == std::string_view::npos ? text : text.substr(0, end);
    output.assign(token);
    return static_cast<int>(token.size());
}

int HasPasswordPrompt(std::string_view text, std::size_t length)
{
    if (length > text.size())
        length = text.size();
    return text.substr(0, length).find(kPasswordPrompt) != std::string_view::npos ? 1 : 0;
}

std::optional<std::string> TextFrom(std::string_view reply, std::string_view mark, int length)
{
    const int at = FindText(reply, mark);
    if (at == 0)
        return std::nullopt;
    reply = reply.substr(static_cast<std::size_t>(at - 1));
    reply = reply.substr(0, reply.find('\0'));
    return std::string(reply.substr(0, length > 0 ? static_cast<std::size_t>(length) : 0));
}

}  // namespace verup
