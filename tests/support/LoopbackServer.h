#pragma once
// A scripted TCP server on 127.0.0.1 for transport tests: accept one client, send exact
// bytes, read what the client sent. Every wait has a generous real-time cap so a silent peer
// fails the test instead of hanging it; no test relies on the cap for timing.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace verup::test {

class LoopbackServer {
public:
    static constexpr std::chrono::milliseconds kCap{15000};

    LoopbackServer()
    {
        listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        const int one = 1;
        ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(listen_fd_, 4) != 0)
            throw std::runtime_error("loopback server: cannot listen");
        socklen_t size = sizeof addr;
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &size);
        port_ = ntohs(addr.sin_port);
    }
    ~LoopbackServer()
    {
        CloseClient();
        ::close(listen_fd_);
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t Port() const { return port_; }

    // Accepts the next client (closing the one before); false when none came within the cap.
    bool Accept()
    {
        CloseClient();
        pollfd p{listen_fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(kCap.count())) <= 0)
            return false;
        client_ = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        const int one = 1;
        ::setsockopt(client_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return client_ >= 0;
    }

    // False once the client has gone (no SIGPIPE).
    bool Send(std::string_view bytes)
    {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::send(client_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                return false;
        }
        return true;
    }
    // Exactly `count` bytes (fewer only at the cap or when the client closed).
    std::string Receive(std::size_t count) { return Take(count, {}); }
    // Up to and including `tail`; what follows stays for the next read. Without it: all that came.
    std::string ReceiveUntil(std::string_view tail) { return Take(0, tail); }
    void CloseClient()
    {
        if (client_ >= 0)
            ::close(client_);
        client_ = -1;
        pending_.clear();
    }

private:
    // The first `count` bytes, or (with a tail) all up to and including it, once they came.
    std::string Take(std::size_t count, std::string_view tail)
    {
        const auto end = std::chrono::steady_clock::now() + kCap;
        std::size_t at = std::string::npos;
        for (;;) {
            at = tail.empty() ? (pending_.size() >= count ? count : at) : pending_.find(tail);
            if (at != std::string::npos || !Fill(end))
                break;
        }
        const std::size_t size = at == std::string::npos ? pending_.size() : at + tail.size();
        std::string out = pending_.substr(0, size);
        pending_.erase(0, size);
        return out;
    }
    // False at the cap or when the connection ended.
    bool Fill(std::chrono::steady_clock::time_point end)
    {
        pollfd p{client_, POLLIN, 0};
        while (::poll(&p, 1, 100) <= 0)
            if (std::chrono::steady_clock::now() >= end)
                return false;
        char buffer[65536];
        const ssize_t n = ::read(client_, buffer, sizeof buffer);
        if (n > 0)
            pending_.append(buffer, static_cast<std::size_t>(n));
        return n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR));
    }

    int listen_fd_ = -1;
    int client_ = -1;
    std::string pending_;
    std::uint16_t port_ = 0;
};

}  // namespace verup::test
