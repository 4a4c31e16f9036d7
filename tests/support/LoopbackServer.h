#pragma once
// A scripted TCP server on 127.0.0.1 for transport tests: accept one client, send exact
// bytes, read what the client sent. Every wait has a generous real-time cap so a broken
// client fails the test instead of hanging it; no test relies on the cap for timing.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace verup::test {

class LoopbackServer {
public:
    static constexpr std::chrono::milliseconds kCap{10000};

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

    // Accepts the next client; false when none came within the cap.
    bool Accept()
    {
        pollfd p{listen_fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(kCap.count())) <= 0)
            return false;
        CloseClient();
        client_fd_ = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        const int one = 1;
        ::setsockopt(client_fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return client_fd_ >= 0;
    }

    void Send(std::string_view bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(client_fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            done += static_cast<std::size_t>(n);
        }
    }

    // Reads until `count` bytes arrived (or the cap, or the client closed).
    std::string Receive(std::size_t count)
    {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + kCap;
        char buffer[65536];
        while (got.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd p{client_fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t n = ::recv(client_fd_, buffer, std::min(sizeof buffer, count - got.size()), 0);
            if (n <= 0)
                break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    // Reads until what arrived ends with `tail`.
    std::string ReceiveUntil(std::string_view tail)
    {
        std::string got;
        while (got.size() < tail.size() || got.compare(got.size() - tail.size(), tail.size(), tail) != 0) {
            const std::string one = Receive(1);
            if (one.empty())
                break;
            got += one;
        }
        return got;
    }

    void CloseClient()
    {
        if (client_fd_ >= 0)
            ::close(client_fd_);
        client_fd_ = -1;
    }

private:
    int listen_fd_ = -1;
    int client_fd_ = -1;
    std::uint16_t port_ = 0;
};

}  // namespace verup::test
