#pragma once
// Passes everything written to it on to another stream buffer, and keeps the messages among
// it ("verup: warning: ...", with the indented lines that follow as part of the text) for a
// machine-readable report.
#include <mutex>
#include <streambuf>
#include <string>
#include <vector>

namespace verup::cli {

struct TappedMessage {
    std::string Kind;  // "error", "warning" or "note"
    std::string Text;  // its lines joined with "\n", without the prefix and the indents
};

class MessageTap : public std::streambuf {
public:
    explicit MessageTap(std::streambuf& target) : target_(target) {}
    MessageTap(const MessageTap&) = delete;
    MessageTap& operator=(const MessageTap&) = delete;

    // The messages of every complete line so far.
    std::vector<TappedMessage> Messages() const;

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    void Take(char c);
    void EndLine();

    std::streambuf& target_;
    mutable std::mutex mutex_;
    std::string line_;
    std::vector<TappedMessage> messages_;
    bool in_message_ = false;  // indented lines continue the last message
};

}  // namespace verup::cli
