#pragma once
// Reading from a pty or a socket until an exact word arrived, for the tests that play the
// device's or the tool's side of a link. Every wait has a generous real-time cap so a silent
// peer fails the test instead of hanging it; no test relies on the cap for timing.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>
#include <utility>

namespace verup::test {

// Reads from a file descriptor until a word is in what arrived.
class RawStream {
public:
    static constexpr std::chrono::milliseconds kCap{15000};

    RawStream() = default;
    explicit RawStream(int fd) : fd_(fd) {}
    ~RawStream() { Close(); }
    RawStream(const RawStream&) = delete;
    RawStream& operator=(const RawStream&) = delete;
    RawStream(RawStream&& other) noexcept : fd_(other.fd_), pending_(std::move(other.pending_)) { other.fd_ = -1; }
    RawStream& operator=(RawStream&& other) noexcept
    {
        Close();
        fd_ = other.fd_;
        pending_ = std::move(other.pending_);
        other.fd_ = -1;
        return *this;
    }

    bool IsOpen() const { return fd_ >= 0; }
    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        pending_.clear();
    }

    bool Send(std::string_view bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            // A socket whose peer has gone fails the send instead of raising SIGPIPE.
            ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == ENOTSOCK)
                n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd pfd{fd_, POLLOUT, 0};
                ::poll(&pfd, 1, 50);
            } else {
                return false;
            }
        }
        return true;
    }

    // Everything received up to and including the first `word`; what follows it is kept
    // for the next read. Without the word (cap or connection end): all that arrived.
    std::string ReadUntil(std::string_view word, std::chrono::milliseconds cap = kCap)
    {
        const auto end = std::chrono::steady_clock::now() + cap;
        for (;;) {
            const auto at = pending_.find(word);
            if (at != std::string::npos) {
                std::string out = pending_.substr(0, at + word.size());
                pending_.erase(0, at + word.size());
                return out;
            }
            if (std::chrono::steady_clock::now() >= end || !Fill(end))
                return std::exchange(pending_, std::string());
        }
    }

    // Exactly `n` bytes (fewer only at the cap or the end of the connection).
    std::string ReadBytes(std::size_t n)
    {
        const auto end = std::chrono::steady_clock::now() + kCap;
        while (pending_.size() < n && std::chrono::steady_clock::now() < end && Fill(end)) {
        }
        std::string out = pending_.substr(0, n);
        pending_.erase(0, out.size());
        return out;
    }

private:
    // False when the stream ended or failed.
    bool Fill(std::chrono::steady_clock::time_point end)
    {
        pollfd pfd{fd_, POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        const int ready = ::poll(&pfd, 1, static_cast<int>(std::max<long long>(1, std::min<long long>(left.count(), 100))));
        if (ready <= 0)
            return std::chrono::steady_clock::now() < end;
        char buffer[65536];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0)
            return n < 0 && (errno == EAGAIN || errno == EINTR);
        pending_.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    int fd_ = -1;
    std::string pending_;
};

}  // namespace verup::test
