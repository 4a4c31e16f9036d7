#pragma once
// Decides, byte by byte, when the device's answer to a serial command is complete.
//
// Example: "at%i2\r" waits for RK_OK and reads
//   "at%i2\r\r\nVersion 1.20 2026/04/01\r\n\r\nOK\r\n"
// The exchange is decided on the final LF, the byte that completes "\r\nOK\r\n".
//
// Every word is searched as FindText does (ASCII letters in either case, the text ends at
// its first zero byte), but incrementally: each new byte only completes the words that end
// at it, so a reply costs time linear in its length.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "serial/ExchangeWords.h"
#include "serial/ReceiveBuffer.h"

namespace verup {

// The serial reply words, in one place.
namespace serial_words {
inline constexpr std::string_view OK = "\r\nOK\r\n";
inline constexpr std::string_view WRITE_OK = " Write OK ";
inline constexpr std::string_view READY = "READY:\r\n";
inline constexpr std::string_view FROM_PROMPT = "F-ROM>";
inline constexpr std::string_view ERASE_OK = " Erase OK ";
inline constexpr std::string_view SHELL_PROMPT = "\r\n# ";
inline constexpr std::string_view WRITE_OK_LINE = "\r\nWrite OK";
inline constexpr std::string_view F0_PROMPT = "F0>";
inline constexpr std::string_view MM_OK = "MM.OK";
inline constexpr std::string_view MP_OK = "MP.OK";
inline constexpr std::string_view DL_PROMPT = "\r\nDL.";
inline constexpr std::string_view DL_OK = "\r\nDL.OK";
inline constexpr std::string_view DL_ERROR = "\r\nDL.ERROR";
inline constexpr std::string_view ERASE_OK_LINE = "\r\nErase OK";
inline constexpr std::string_view UPLOAD_OK = "UL.OK";
// Error words, valid for every kind.
inline constexpr std::string_view ERROR_WORD = "ERROR!";
inline constexpr std::string_view ERROR_KATAKANA = "\x83\x47\x83\x89\x81\x5b";  // "エラー"
}  // namespace serial_words

class ResponseMatcher {
public:
    ResponseMatcher(ReceiveBuffer& buffer, ExchangeWords& words) : buffer_(buffer), words_(words) {}

    // One received byte, in arrival order: stored, then (while MatchingEnabled) the
    // exchange is decided. The caller serialises calls with every other buffer access.
    void OnByte(uint8_t byte);
    // Bulk mode (upload data): bytes are stored without the recognizer; "UL.OK" is found only
    // once at least one more byte follows it.
    void OnBulkBytes(const uint8_t* bytes, std::size_t length);

    // The buffer was reset for a write.
    void Reset();
    // The buffer's head was zeroed in place (its text is now empty to every search).
    void HeadZeroed();
    // A command exchange begins: an "ERROR!" of earlier raw lines is forgotten.
    void StartExchange() { error_since_exchange_ = false; }

    // "ERROR!" arrived, tracked also while matching is off, for the raw downloads: in the text
    // since the last write, or since the last exchange began (an error word that arrives just
    // before the next line's write reset the buffer is not lost).
    bool ErrorWordSeen() const { return Found(kErrorWord) || error_since_exchange_; }
    // More bytes arrived than the buffer holds since the last write; they were dropped.
    bool Overflowed() const { return overflowed_; }

private:
    enum Word : std::size_t {
        kOk, kWriteOk, kReady, kFromPrompt, kEraseOk, kShellPrompt, kWriteOkLine, kF0Prompt,
        kMmOk, kMpOk, kDlPrompt, kDlOk, kDlError, kEraseOkLine, kErrorWord, kErrorKatakana,
        kWordCount
    };
    static const std::array<std::string_view, kWordCount> kWords;
    // Reply word of kinds 0 ... 13 (kind 10 and 12 are handled apart).
    static const std::array<Word, 14> kKindWord;

    bool Found(Word w) const { return (found_ & (1u << w)) != 0; }
    bool EndsAtLast(std::string_view word) const;
    void TrackWords();
    void Decide();
    void OnOverflow();

    ReceiveBuffer& buffer_;
    ExchangeWords& words_;
    uint32_t found_ = 0;
    // A zero byte ends the text for FindText: nothing after it is ever found.
    bool text_ended_ = false;
    bool overflowed_ = false;
    bool error_since_exchange_ = false;
    bool upload_found_ = false;
    std::size_t upload_scan_from_ = 0;
};

}  // namespace verup
