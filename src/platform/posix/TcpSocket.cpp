#include "platform/TcpSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/BackendCommon.h"

namespace verup {
namespace {

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

TcpSocket::~TcpSocket() { CloseWithReset(); }

bool TcpSocket::StartConnect(const std::string& address, std::uint16_t port, std::string& error)
{
    CloseWithReset();
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &peer.sin_addr) != 1) {
        error = "not an IPv4 address: " + address;
        return false;
    }
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    wake_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_fd_ < 0) {
        error = std::string("eventfd: ") + std::strerror(errno);
        CloseWithReset();
        return false;
    }
    // Commands are short lines waiting for an answer; do not hold them back.
    const int one = 1;
    ::setsockopt(Fd(fd_), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // In progress, refused or done: WaitConnected tells which.
    (void)::connect(Fd(fd_), reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    return true;
}

TcpSocket::Event TcpSocket::Await(Awaited what, int& error)
{
    error = 0;
    if (fd_ < 0)
        return Event::Failed;
    pollfd fds[2] = {{Fd(fd_), static_cast<short>(what == Awaited::Connect ? POLLOUT : POLLIN), 0},
                     {Fd(wake_fd_), POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, 2, -1);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return Event::Failed;
        }
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            (void)!::read(Fd(wake_fd_), &count, sizeof count);
            return Event::Woken;
        }
        if (fds[0].revents == 0)
            continue;
        if (what == Awaited::Connect) {
            int so_error = 0;
            socklen_t size = sizeof so_error;
            if (::getsockopt(Fd(fd_), SOL_SOCKET, SO_ERROR, &so_error, &size) != 0)
                so_error = errno;
            error = so_error;
            return so_error == 0 ? Event::Ready : Event::Failed;
        }
        // Data, the peer's close or an error: Receive tells which.
        return Event::Ready;
    }
}

TcpSocket::Event TcpSocket::WaitConnected(int& error) { return Await(Awaited::Connect, error); }

TcpSocket::Event TcpSocket::WaitReadable(int& error) { return Await(Awaited::Read, error); }

long TcpSocket::Receive(std::uint8_t* data, std::size_t capacity, int& error)
{
    error = 0;
    for (;;) {
        const ssize_t n = ::recv(Fd(fd_), data, capacity, 0);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EINTR)
            continue;
        error = errno;
        return -1;
    }
}

long TcpSocket::SendAll(const std::uint8_t* data, std::size_t length, std::chrono::steady_clock::time_point deadline,
                        int& error)
{
    error = 0;
    std::size_t sent = 0;
    while (sent < length) {
        const ssize_t n = ::send(Fd(fd_), data + sent, length - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            error = errno;
            return -1;
        }
        // The send buffer is full: wait for room, but not past the deadline.
        const int wait_ms = RealMsUntil(deadline);
        if (wait_ms == 0) {
            error = ETIMEDOUT;
            return -1;
        }
        pollfd fd{Fd(fd_), POLLOUT, 0};
        if (::poll(&fd, 1, wait_ms) < 0 && errno != EINTR) {
            error = errno;
            return -1;
        }
    }
    return static_cast<long>(length);
}

void TcpSocket::Wake()
{
    if (wake_fd_ >= 0) {
        const std::uint64_t one = 1;
        (void)!::write(Fd(wake_fd_), &one, sizeof one);
    }
}

void TcpSocket::CloseWithReset()
{
    if (fd_ >= 0) {
        const linger reset{1, 0};
        ::setsockopt(Fd(fd_), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(Fd(fd_));
        fd_ = -1;
    }
    if (wake_fd_ >= 0) {
        ::close(Fd(wake_fd_));
        wake_fd_ = -1;
    }
}

}  // namespace verup
