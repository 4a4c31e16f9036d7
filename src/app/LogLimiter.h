#pragma once
// Keeps the debug log bounded whatever the device sends: a text repeated back to back is
// written a few times and then counted, and the log ends with a cut notice at a fixed size.
// Example: "IAC data\r\n" 10,000 times in a row is logged as 16 such lines and
// "last line repeated 9984 more times\r\n" once another text comes (or the log is flushed).
#include <cstddef>
#include <string>
#include <vector>

namespace verup {

class LogLimiter {
public:
    // Far above a whole update's log (some tens of kilobytes).
    static constexpr std::size_t kMaxLogBytes = 4u << 20;
    // Identical texts in a row written as they are before the rest are counted: more than
    // any retry sequence of the update writes (at most ten tries).
    static constexpr int kRepeatsShown = 16;

    explicit LogLimiter(std::size_t max_bytes = kMaxLogBytes) : max_bytes_(max_bytes) {}

    // The texts to log for `text`, in order: none while it repeats the last text too often or
    // once the log was cut.
    std::vector<std::string> Take(const std::string& text);
    // The count of repeats not yet written, if any.
    std::vector<std::string> Flush();

private:
    void Emit(const std::string& text, std::vector<std::string>& out);
    void FlushInto(std::vector<std::string>& out);

    std::size_t max_bytes_;
    std::size_t written_ = 0;
    bool cut_ = false;
    std::string last_;
    long long repeats_ = 0;  // occurrences of last_ in a row
};

}  // namespace verup
