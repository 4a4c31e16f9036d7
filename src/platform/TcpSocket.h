#pragma once
// A non-blocking IPv4 TCP client socket for the telnet link: connect, wait for data with a
// wake-up that another thread can trigger, complete partial sends, and close with a reset.
// One reader thread waits and receives; any thread may send (the caller serialises sends).
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace verup {

class TcpSocket {
public:
    TcpSocket() = default;
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Creates the socket and starts connecting to `address` (dotted decimal) at `port`.
    // False, with the reason, when the address is no IPv4 address or the socket cannot be
    // made; the connection's own outcome comes from WaitConnected.
    [[nodiscard]] bool StartConnect(const std::string& address, std::uint16_t port, std::string& error);
    bool IsOpen() const { return fd_ >= 0; }

    enum class Event { Ready, Failed, Woken };
    // Blocks until the connection attempt has completed (Ready, or Failed with the socket
    // error in `error`) or Wake() was called.
    Event WaitConnected(int& error);
    // Blocks until data (or the peer's close) can be received, or Wake() was called.
    // Failed: the wait itself failed (`error`).
    Event WaitReadable(int& error);

    // Bytes received (> 0); 0 the peer closed the connection; -1 error (`error`), where
    // EAGAIN means nothing was there after all.
    long Receive(std::uint8_t* data, std::size_t capacity, int& error);

    // Hands all `length` bytes to the socket, waiting for room while the send buffer is full,
    // but not beyond `deadline`. Returns `length`, or -1 (`error`) when the socket refused or
    // the deadline passed with bytes left.
    long SendAll(const std::uint8_t* data, std::size_t length, std::chrono::steady_clock::time_point deadline,
                 int& error);

    // Interrupts WaitConnected / WaitReadable; the wake-up stays pending until consumed by one.
    void Wake();

    // Closes so that unsent data is discarded and the peer sees a reset (SO_LINGER 0).
    void CloseWithReset();

private:
    enum class Awaited { Connect, Read };
    Event Await(Awaited what, int& error);

    // The system's handles: the socket, the wake-up, and (where a wait cannot take the socket
    // itself) the object its readiness is signalled on; -1 when there is none.
    std::intptr_t fd_ = -1;
    std::intptr_t wake_fd_ = -1;
    std::intptr_t ready_event_ = -1;
};

}  // namespace verup
