#include "lan/ReplyWordWatch.h"

#include <string_view>

#include "lan/TelnetWords.h"

namespace verup {
namespace {

constexpr std::array<std::string_view, ReplyWordWatch::kWordCount> kWords = {
    telnet::kCommandPrompt, telnet::kPasswordLine, telnet::kAdminPrompt, telnet::kDownloadPrompt,
    telnet::kDownloadOk,    telnet::kDownloadError, telnet::kWriteOk,    telnet::kEraseOk,
    telnet::kErrorWord,
};

std::uint8_t Fold(std::uint8_t byte) { return (byte >= 'A' && byte <= 'Z') ? static_cast<std::uint8_t>(byte - 'A' + 'a') : byte; }

// Whether `word` occupies buffer[end - word.size() .. end).
bool EndsWith(const std::uint8_t* buffer, std::size_t end, std::string_view word, bool fold)
{
    if (end < word.size())
        return false;
    const std::uint8_t* start = buffer + (end - word.size());
    for (std::size_t i = 0; i < word.size(); ++i) {
        const auto w = static_cast<std::uint8_t>(word[i]);
        if (fold ? Fold(start[i]) != Fold(w) : start[i] != w)
            return false;
    }
    return true;
}

}  // namespace

void ReplyWordWatch::Reset() { *this = ReplyWordWatch(); }

void ReplyWordWatch::OnAppend(const std::uint8_t* buffer, std::size_t length)
{
    if (length == 0)
        return;
    if (buffer[length - 1] == 0)
        zero_seen_ = true;
    if (!zero_seen_)
        for (std::size_t w = 0; w < kWords.size(); ++w)
            if (!found_[w] && EndsWith(buffer, length, kWords[w], true))
                found_[w] = true;
    if (!password_prompt_ && EndsWith(buffer, length, telnet::kPasswordPrompt, false))
        password_prompt_ = true;
    // The new byte is the one that must follow the word.
    if (!upload_end_ && EndsWith(buffer, length - 1, telnet::kUploadEnd, true))
        upload_end_ = true;
}

}  // namespace verup
