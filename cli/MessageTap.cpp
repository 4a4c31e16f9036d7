#include "MessageTap.h"

#include <string_view>

namespace verup::cli {
namespace {

constexpr std::string_view kPrefix = "verup: ";
constexpr std::string_view kIndent = "  ";
constexpr std::string_view kKinds[] = {"error", "warning", "note"};

}  // namespace

std::vector<TappedMessage> MessageTap::Messages() const
{
    std::lock_guard lock(mutex_);
    return messages_;
}

MessageTap::int_type MessageTap::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    std::lock_guard lock(mutex_);
    if (traits_type::eq_int_type(target_.sputc(ch), traits_type::eof()))
        return traits_type::eof();
    Take(ch);
    return c;
}

std::streamsize MessageTap::xsputn(const char* s, std::streamsize n)
{
    std::lock_guard lock(mutex_);
    const std::streamsize written = target_.sputn(s, n);
    for (std::streamsize i = 0; i < written; ++i)
        Take(s[i]);
    return written;
}

int MessageTap::sync()
{
    return target_.pubsync();
}

void MessageTap::Take(char c)
{
    if (c == '\n')
        EndLine();
    else
        line_ += c;
}

void MessageTap::EndLine()
{
    const std::string_view line = line_;
    bool started = false;
    if (line.substr(0, kPrefix.size()) == kPrefix) {
        const std::string_view rest = line.substr(kPrefix.size());
        for (const std::string_view kind : kKinds) {
            const std::string head = std::string(kind) + ": ";
            if (rest.substr(0, head.size()) == head) {
                messages_.push_back({std::string(kind), std::string(rest.substr(head.size()))});
                started = true;
                break;
            }
        }
    }
    if (!started && in_message_ && line.substr(0, kIndent.size()) == kIndent)
        messages_.back().Text += "\n" + std::string(line.substr(kIndent.size()));
    else
        in_message_ = started;
    line_.clear();
}

}  // namespace verup::cli
