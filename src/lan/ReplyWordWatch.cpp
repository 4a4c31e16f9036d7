#include "lan/ReplyWordWatch.h"

#include <string_view>

#include "lan/TelnetWords.h"
#include "protocol/ReplyText.h"

namespace verup {
namespace {

constexpr std::array<std::string_view, ReplyWordWatch::kWordCount> kWords = {
    telnet::kCommandPrompt, telnet::kPasswordLine, telnet::kAdminPrompt, telnet::kDownloadPrompt,
    telnet::kDownloadOk,    telnet::kDownloadError, telnet::kWriteOk,    telnet::kEraseOk,
    telnet::kErrorWord,
};

// The first `end` bytes of the buffer, as text.
std::string_view Text(const std::uint8_t* buffer, std::size_t end) { return {reinterpret_cast<const char*>(buffer), end}; }

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
            if (!found_[w] && EndsWithWord(Text(buffer, length), kWords[w]))
                found_[w] = true;
    if (!password_prompt_ && EndsWithWord(Text(buffer, length), telnet::kPasswordPrompt, true))
        password_prompt_ = true;
    // The new byte is the one that must follow the word.
    if (!upload_end_ && EndsWithWord(Text(buffer, length - 1), telnet::kUploadEnd))
        upload_end_ = true;
}

}  // namespace verup
