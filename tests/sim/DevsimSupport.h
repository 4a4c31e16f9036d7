#pragma once
// For the simulated device's own tests: the simulator started on the default package, and raw
// clients of it (the pty opened as a serial port, a plain TCP socket), each reading until an
// exact word arrived. Every wait has a generous real-time cap so a silent device fails the
// test instead of hanging it; no test relies on the cap for timing.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "PackageMaker.h"
#include "SimHarness.h"
#include "platform/Clock.h"
#include "support/TempDir.h"

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
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
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

    // True when the peer closed the connection (reads end) within the cap.
    bool WaitClosed()
    {
        const auto end = std::chrono::steady_clock::now() + kCap;
        while (std::chrono::steady_clock::now() < end)
            if (!Fill(end))
                return true;
        return false;
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

// The pty's slave side opened the way the tool opens its port: raw, 115200 baud.
inline RawStream OpenSerial(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return RawStream();
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B115200);
    ::cfsetospeed(&tio, B115200);
    ::tcsetattr(fd, TCSANOW, &tio);
    return RawStream(fd);
}

// A TCP connection to 127.0.0.1:port; not open when refused.
inline RawStream ConnectLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return RawStream();
    }
    return RawStream(fd);
}

// Connects, retrying while the device refuses (it is restarting), up to the cap.
inline RawStream ConnectLoopbackWhenUp(int port)
{
    const auto end = std::chrono::steady_clock::now() + RawStream::kCap;
    for (;;) {
        RawStream s = ConnectLoopback(port);
        if (s.IsOpen() || std::chrono::steady_clock::now() >= end)
            return s;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// The simulator started on the package the default PackageOptions make.
class DevsimFixture : public ::testing::Test {
protected:
    // Writes the package and starts the simulator; `front_end` picks the links, then
    // Configure has its say.
    void StartSim(const std::function<void(devsim::HarnessOptions&)>& front_end)
    {
        std::string error;
        ASSERT_TRUE(devsim::WritePackage(dir_.Path(), devsim::PackageOptions{}, &error)) << error;
        devsim::HarnessOptions options;
        ASSERT_TRUE(devsim::SimHarness::UsePackage(options, dir_.Path(), &error)) << error;
        front_end(options);
        Configure(options);
        options_ = options;
        sim_ = std::make_unique<devsim::SimHarness>(options, clock_);
        ASSERT_TRUE(sim_->Start(&error)) << error;
    }
    virtual void Configure(devsim::HarnessOptions&) {}

    devsim::SimDevice& Device() { return sim_->Device(); }

    TempDir dir_;
    Clock clock_{50};
    devsim::HarnessOptions options_;
    std::unique_ptr<devsim::SimHarness> sim_;
};

}  // namespace verup::test
