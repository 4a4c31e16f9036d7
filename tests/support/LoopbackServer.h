#pragma once
// A scripted TCP server on 127.0.0.1 for transport tests: accept one client, send exact
// bytes, read what the client sent.
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

#include "support/RawStream.h"

namespace verup::test {

class LoopbackServer {
public:
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
        if (::poll(&p, 1, static_cast<int>(RawStream::kCap.count())) <= 0)
            return false;
        const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        client_ = RawStream(fd);
        return fd >= 0;
    }

    void Send(std::string_view bytes) { client_.Send(bytes); }
    // Exactly `count` bytes (fewer only at the cap or when the client closed).
    std::string Receive(std::size_t count) { return client_.ReadBytes(count); }
    // Up to and including `tail`.
    std::string ReceiveUntil(std::string_view tail) { return client_.ReadUntil(tail); }
    void CloseClient() { client_.Close(); }

private:
    int listen_fd_ = -1;
    RawStream client_;
    std::uint16_t port_ = 0;
};

}  // namespace verup::test
