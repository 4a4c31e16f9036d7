#pragma once
// SerialPort on a Windows COM port: CreateFile on "\\.\COMn", DCB 115200 8N1 without flow
// control, overlapped reads and writes waited on together with a wake-up event. Windows opens
// a COM port for one program at a time, so a second opener gets "busy".
#include <cstdint>
#include <functional>

#include "platform/SerialPort.h"

namespace verup {

class Win32SerialPort final : public SerialPort {
public:
    using Resolver = std::function<std::string(const std::string&)>;

    // `resolver` turns "COMn" into a device path; ResolvePortName when empty.
    explicit Win32SerialPort(Resolver resolver = {});
    ~Win32SerialPort() override;
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    [[nodiscard]] PortOpenResult Open(const std::string& name) override;
    void Close() override;
    bool IsOpen() const override { return port_ != nullptr; }
    int Write(const uint8_t* data, std::size_t length, TimePoint deadline) override;
    int Read(uint8_t* buffer, std::size_t capacity, TimePoint deadline) override;
    void Interrupt() override;
    void SetLines(bool dtr, bool rts) override;

    // The device path the last Open used.
    const std::string& DevicePath() const { return path_; }

private:
    Resolver resolver_;
    void* port_ = nullptr;         // HANDLE of the port; null when closed
    void* wake_ = nullptr;         // auto-reset event set by Interrupt
    void* read_done_ = nullptr;    // events of the overlapped read and write
    void* write_done_ = nullptr;
    std::string path_;
};

}  // namespace verup
