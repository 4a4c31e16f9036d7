#pragma once
// SerialPort on termios: 115200 baud 8N1, raw, no flow control, exclusive (TIOCEXCL and an
// flock, so a second opener gets "busy").
#include <functional>
#include <mutex>

#include "platform/SerialPort.h"

namespace verup {

class PosixSerialPort final : public SerialPort {
public:
    using Resolver = std::function<std::string(const std::string&)>;

    // `resolver` turns "COMn" into a device path; ResolvePortName when empty.
    explicit PosixSerialPort(Resolver resolver = {});
    ~PosixSerialPort() override;
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    [[nodiscard]] PortOpenResult Open(const std::string& name) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    int Write(const uint8_t* data, std::size_t length, TimePoint deadline) override;
    int Read(uint8_t* buffer, std::size_t capacity, TimePoint deadline) override;
    void Interrupt() override;
    void SetLines(bool dtr, bool rts) override;

    // The device path the last Open used.
    const std::string& DevicePath() const { return path_; }

private:
    void DrainWakePipe();

    Resolver resolver_;
    int fd_ = -1;
    int wake_[2] = {-1, -1};
    std::string path_;
};

}  // namespace verup
