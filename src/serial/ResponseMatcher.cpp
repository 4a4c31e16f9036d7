#include "serial/ResponseMatcher.h"

#include "protocol/ReplyText.h"

namespace verup {
using namespace serial_words;

const std::array<std::string_view, ResponseMatcher::kWordCount> ResponseMatcher::kWords = {
    OK, WRITE_OK, READY, FROM_PROMPT, ERASE_OK, SHELL_PROMPT, WRITE_OK_LINE, F0_PROMPT,
    MM_OK, MP_OK, DL_PROMPT, DL_OK, DL_ERROR, ERASE_OK_LINE, ERROR_WORD, ERROR_KATAKANA,
};

const std::array<ResponseMatcher::Word, 14> ResponseMatcher::kKindWord = {
    kOk, kWriteOk, kReady, kFromPrompt, kEraseOk, kShellPrompt, kWriteOkLine, kF0Prompt,
    kMmOk, kMpOk, kWordCount, kDlPrompt, kWordCount, kEraseOkLine,
};

void ResponseMatcher::Reset()
{
    found_ = 0;
    text_ended_ = false;
    overflowed_ = false;
    upload_found_ = false;
    upload_scan_from_ = 0;
}

void ResponseMatcher::HeadZeroed()
{
    found_ = 0;
    error_since_exchange_ = false;
    upload_found_ = false;
    text_ended_ = buffer_.Count() > 0;
}

bool ResponseMatcher::EndsAtLast(std::string_view word) const
{
    return EndsWithWord(buffer_.Bytes(), word);
}

void ResponseMatcher::TrackWords()
{
    if (text_ended_)
        return;
    if (buffer_.At(buffer_.Count() - 1) == 0) {
        text_ended_ = true;
        return;
    }
    for (std::size_t w = 0; w < kWordCount; ++w)
        if (!Found(static_cast<Word>(w)) && EndsAtLast(kWords[w]))
            found_ |= 1u << w;
    if (Found(kErrorWord))
        error_since_exchange_ = true;
}

void ResponseMatcher::OnByte(uint8_t byte)
{
    if (!buffer_.Append(byte)) {
        OnOverflow();
        return;
    }
    TrackWords();
    if (!words_.MatchingEnabled.load())
        return;
    Decide();
}

void ResponseMatcher::Decide()
{
    if (Found(kErrorWord)) {
        words_.ExchangeState.store(STATE_ERROR_WORD);
        words_.ReplyEvent.Set();
        return;
    }
    const int kind = words_.ExpectedReply.load();
    if (kind == RK_DL_RESULT) {
        if (Found(kDlOk))
            words_.ExchangeState.store(STATE_RECOGNISED);
        else if (Found(kDlError))
            words_.ExchangeState.store(STATE_ERROR_WORD);
    } else if (kind >= 0 && kind < static_cast<int>(kKindWord.size()) && kKindWord[kind] != kWordCount) {
        if (Found(kKindWord[kind]))
            words_.ExchangeState.store(STATE_RECOGNISED);
    }
    const int state = words_.ExchangeState.load();
    if (state == STATE_RECOGNISED || state == STATE_ERROR_WORD) {
        // A late "エラー" still turns a success into a failure until the waiter reads the state.
        if (Found(kErrorKatakana))
            words_.ExchangeState.store(STATE_ERROR_WORD);
        words_.ReplyEvent.Set();
    }
}

void ResponseMatcher::OnBulkBytes(const uint8_t* bytes, std::size_t length)
{
    const std::size_t stored = buffer_.Append(bytes, length);
    if (stored < length) {
        OnOverflow();
        return;
    }
    if (upload_found_)
        return;
    // Start positions 0 ... count - 6: the word must be followed by one more byte.
    const std::size_t count = buffer_.Count();
    const std::size_t n = UPLOAD_OK.size();
    for (std::size_t p = upload_scan_from_; p + n + 1 <= count; ++p) {
        std::size_t i = 0;
        while (i < n && FoldByte(buffer_.At(p + i)) == FoldByte(UPLOAD_OK[i]))
            ++i;
        if (i == n) {
            upload_found_ = true;
            words_.ExchangeState.store(STATE_RECOGNISED);
            words_.ReplyEvent.Set();
            return;
        }
        upload_scan_from_ = p + 1;
    }
}

void ResponseMatcher::OnOverflow()
{
    // More than the buffer holds: the reply is not what any command expects; fail the exchange.
    if (overflowed_)
        return;
    overflowed_ = true;
    words_.ExchangeState.store(STATE_ERROR_WORD);
    words_.ReplyEvent.Set();
}

}  // namespace verup
