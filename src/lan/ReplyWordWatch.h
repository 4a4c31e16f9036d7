#pragma once
// Keeps track, byte by byte, of which reply words a receive buffer holds, so the recognizer
// never rescans a growing reply. The answers equal a full search after every byte:
// - the reply words: anywhere before the first zero byte, ASCII letters in any case (FindText);
// - the password prompt "Password: ": exactly, anywhere (HasPasswordPrompt);
// - "UL.OK" in any case with at least one byte after it (the bulk read's search).
#include <array>
#include <cstddef>
#include <cstdint>

namespace verup {

class ReplyWordWatch {
public:
    enum Word { CommandPrompt, PasswordLine, AdminPrompt, DownloadPrompt, DownloadOk, DownloadError,
                WriteOk, EraseOk, ErrorWord, kWordCount };

    // The buffer was emptied.
    void Reset();
    // buffer[length - 1] was just appended to buffer[0 .. length - 1).
    void OnAppend(const std::uint8_t* buffer, std::size_t length);

    bool Found(Word word) const { return found_[word]; }
    bool PasswordPrompt() const { return password_prompt_; }
    bool UploadEnd() const { return upload_end_; }

private:
    std::array<bool, kWordCount> found_{};
    bool zero_seen_ = false;
    bool password_prompt_ = false;
    bool upload_end_ = false;
};

}  // namespace verup
