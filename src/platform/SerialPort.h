#pragma once
// A serial port behind a small interface: open, close, write and read with a deadline, the
// modem lines. PosixSerialPort is the termios implementation, Win32SerialPort the Windows one;
// tests hand the link a fake.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace verup {

enum class PortOpenStatus {
    Opened,
    Missing,           // no such device
    Busy,              // another program holds the port
    Permission,        // no access (not in the dialout group)
    SettingsRefused,   // line settings could not be applied
    Failed,            // anything else
};

struct PortOpenResult {
    PortOpenStatus Status = PortOpenStatus::Failed;
    std::string Reason;  // for the debug log; empty when opened
    bool Ok() const { return Status == PortOpenStatus::Opened; }
};

class SerialPort {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~SerialPort() = default;

    // `name` is the name the tool shows ("COM3"); the port resolves it to a device.
    // Opens at 115200 baud 8N1, raw, no flow control.
    [[nodiscard]] virtual PortOpenResult Open(const std::string& name) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Writes all of `length` bytes before `deadline`; the count written, or -1 on failure or
    // a short write.
    virtual int Write(const uint8_t* data, std::size_t length, TimePoint deadline) = 0;
    // Waits until bytes are available or `deadline` passes, then returns what is buffered
    // (up to `capacity`): > 0 bytes read, 0 nothing before the deadline or interrupted,
    // -1 the port failed.
    virtual int Read(uint8_t* buffer, std::size_t capacity, TimePoint deadline) = 0;
    // Makes a pending or the next Read return at once (used to stop a reader).
    virtual void Interrupt() = 0;
    // DTR and RTS; a port without modem lines ignores this.
    virtual void SetLines(bool dtr, bool rts) = 0;
};

// This system's serial port, closed.
std::unique_ptr<SerialPort> MakeSystemSerialPort();

}  // namespace verup
