#include "platform/TcpSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cerrno>

#include "platform/BackendCommon.h"

namespace verup {
namespace {

SOCKET Socket(std::intptr_t handle) { return static_cast<SOCKET>(handle); }
HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// The errno value the link knows for a Winsock error (EAGAIN above all).
int ErrnoOf(int error)
{
    switch (error) {
    case WSAEWOULDBLOCK: return EAGAIN;
    case WSAEINTR: return EINTR;
    case WSAECONNREFUSED: return ECONNREFUSED;
    case WSAECONNRESET: return ECONNRESET;
    case WSAECONNABORTED: return ECONNABORTED;
    case WSAETIMEDOUT: return ETIMEDOUT;
    case WSAENETUNREACH: return ENETUNREACH;
    case WSAEHOSTUNREACH: return EHOSTUNREACH;
    case WSAENOTCONN: return ENOTCONN;
    case WSAENOTSOCK: return EBADF;
    default: return error;
    }
}

// Whether the socket is readable (data or the peer's close) or, with `write`, writable now or
// within `wait_ms`.
int Select(SOCKET socket, bool write, DWORD wait_ms)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval wait{static_cast<long>(wait_ms / 1000), static_cast<long>(wait_ms % 1000) * 1000};
    return ::select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, &wait);
}

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
    WSADATA data;
    if (const int rc = ::WSAStartup(MAKEWORD(2, 2), &data); rc != 0) {
        error = "WSAStartup: error " + std::to_string(rc);
        return false;
    }
    // The session is ours from here on: CloseWithReset ends it with the event.
    const WSAEVENT ready = ::WSACreateEvent();
    if (ready == WSA_INVALID_EVENT) {
        error = "WSACreateEvent: error " + std::to_string(::WSAGetLastError());
        ::WSACleanup();
        return false;
    }
    ready_event_ = reinterpret_cast<std::intptr_t>(ready);
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        error = "socket: error " + std::to_string(::WSAGetLastError());
        CloseWithReset();
        return false;
    }
    fd_ = static_cast<std::intptr_t>(s);
    const HANDLE wake = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (wake == nullptr) {
        error = "CreateEvent: error " + std::to_string(::GetLastError());
        CloseWithReset();
        return false;
    }
    wake_fd_ = reinterpret_cast<std::intptr_t>(wake);
    // Also makes the socket non-blocking. Registered before connecting, so the outcome is not
    // missed.
    if (::WSAEventSelect(s, ready, FD_CONNECT | FD_READ | FD_CLOSE) != 0) {
        error = "WSAEventSelect: error " + std::to_string(::WSAGetLastError());
        CloseWithReset();
        return false;
    }
    // Commands are short lines waiting for an answer; do not hold them back.
    const BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    // In progress, refused or done: WaitConnected tells which.
    (void)::connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    return true;
}

TcpSocket::Event TcpSocket::Await(Awaited what, int& error)
{
    error = 0;
    if (fd_ < 0)
        return Event::Failed;
    const SOCKET s = Socket(fd_);
    // A read event taken by an earlier wait is not signalled again until the next receive:
    // data already there is seen here.
    if (what == Awaited::Read && Select(s, false, 0) > 0)
        return Event::Ready;
    const HANDLE events[2] = {Handle(ready_event_), Handle(wake_fd_)};
    for (;;) {
        const DWORD wait = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
        if (wait == WAIT_OBJECT_0 + 1)
            return Event::Woken;
        if (wait != WAIT_OBJECT_0) {
            error = static_cast<int>(::GetLastError());
            return Event::Failed;
        }
        WSANETWORKEVENTS happened{};
        if (::WSAEnumNetworkEvents(s, Handle(ready_event_), &happened) != 0) {
            error = ErrnoOf(::WSAGetLastError());
            return Event::Failed;
        }
        if (what == Awaited::Connect) {
            if ((happened.lNetworkEvents & FD_CONNECT) == 0)
                continue;
            error = ErrnoOf(happened.iErrorCode[FD_CONNECT_BIT]);
            return error == 0 ? Event::Ready : Event::Failed;
        }
        // Data, the peer's close or an error: Receive tells which.
        if ((happened.lNetworkEvents & (FD_READ | FD_CLOSE)) != 0)
            return Event::Ready;
    }
}

TcpSocket::Event TcpSocket::WaitConnected(int& error) { return Await(Awaited::Connect, error); }

TcpSocket::Event TcpSocket::WaitReadable(int& error) { return Await(Awaited::Read, error); }

long TcpSocket::Receive(std::uint8_t* data, std::size_t capacity, int& error)
{
    error = 0;
    const int size = capacity > 1u << 30 ? 1 << 30 : static_cast<int>(capacity);
    const int n = ::recv(Socket(fd_), reinterpret_cast<char*>(data), size, 0);
    if (n >= 0)
        return n;
    error = ErrnoOf(::WSAGetLastError());
    return -1;
}

long TcpSocket::SendAll(const std::uint8_t* data, std::size_t length, std::chrono::steady_clock::time_point deadline,
                        int& error)
{
    error = 0;
    const SOCKET s = Socket(fd_);
    std::size_t sent = 0;
    while (sent < length) {
        const int chunk = length - sent > 1u << 30 ? 1 << 30 : static_cast<int>(length - sent);
        const int n = ::send(s, reinterpret_cast<const char*>(data) + sent, chunk, 0);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        const int failure = n < 0 ? ::WSAGetLastError() : WSAEWOULDBLOCK;
        if (failure != WSAEWOULDBLOCK) {
            error = ErrnoOf(failure);
            return -1;
        }
        // The send buffer is full: wait for room, but not past the deadline.
        const DWORD wait_ms = static_cast<DWORD>(RealMsUntil(deadline));
        if (wait_ms == 0) {
            error = ETIMEDOUT;
            return -1;
        }
        if (Select(s, true, wait_ms) < 0) {
            error = ErrnoOf(::WSAGetLastError());
            return -1;
        }
    }
    return static_cast<long>(length);
}

void TcpSocket::Wake()
{
    if (wake_fd_ >= 0)
        ::SetEvent(Handle(wake_fd_));
}

void TcpSocket::CloseWithReset()
{
    if (fd_ >= 0) {
        const linger reset{1, 0};
        ::setsockopt(Socket(fd_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
        ::closesocket(Socket(fd_));
        fd_ = -1;
    }
    if (wake_fd_ >= 0) {
        ::CloseHandle(Handle(wake_fd_));
        wake_fd_ = -1;
    }
    if (ready_event_ >= 0) {
        ::WSACloseEvent(Handle(ready_event_));
        ready_event_ = -1;
        ::WSACleanup();
    }
}

}  // namespace verup
