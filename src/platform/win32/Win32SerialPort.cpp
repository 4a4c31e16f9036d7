#include "platform/win32/Win32SerialPort.h"

#include <windows.h>

#include "platform/SerialPortNames.h"
#include "platform/win32/Win32Error.h"

namespace verup {
namespace {

DWORD MsUntil(SerialPort::TimePoint deadline)
{
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero())
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > 1000000 ? 1000000 : static_cast<DWORD>(ms);
}

PortOpenResult Failure(PortOpenStatus status, const std::string& path, const std::string& what)
{
    return PortOpenResult{status, path + ": " + what};
}

PortOpenResult OpenFailure(const std::string& path, DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return Failure(PortOpenStatus::Missing, path, "no such port");
    // A COM port is opened for one program at a time; another opener is refused access.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return Failure(PortOpenStatus::Busy, path, "port busy (used by another program)");
    default:
        return Failure(PortOpenStatus::Failed, path, Win32ErrorText(error));
    }
}

// Waits for an overlapped operation on `port` until `deadline` or, when `wake` is given, until
// it is set. The bytes moved; -1 when the operation failed. A cancelled operation still
// reports what it moved before the cancel.
int Finish(HANDLE port, OVERLAPPED& overlapped, HANDLE wake, SerialPort::TimePoint deadline, bool& woken)
{
    woken = false;
    const HANDLE events[2] = {overlapped.hEvent, wake};
    const DWORD wait = ::WaitForMultipleObjects(wake != nullptr ? 2 : 1, events, FALSE, MsUntil(deadline));
    if (wait != WAIT_OBJECT_0) {
        woken = wait == WAIT_OBJECT_0 + 1;
        ::CancelIoEx(port, &overlapped);
    }
    DWORD moved = 0;
    if (!::GetOverlappedResult(port, &overlapped, &moved, TRUE) && ::GetLastError() != ERROR_OPERATION_ABORTED)
        return -1;
    return static_cast<int>(moved);
}

}  // namespace

Win32SerialPort::Win32SerialPort(Resolver resolver) : resolver_(std::move(resolver))
{
    if (!resolver_)
        resolver_ = ResolvePortName;
    wake_ = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    read_done_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    write_done_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

Win32SerialPort::~Win32SerialPort()
{
    Close();
    for (void* event : {wake_, read_done_, write_done_})
        if (event != nullptr)
            ::CloseHandle(event);
}

PortOpenResult Win32SerialPort::Open(const std::string& name)
{
    Close();
    path_ = resolver_(name);
    if (wake_ == nullptr || read_done_ == nullptr || write_done_ == nullptr)
        return Failure(PortOpenStatus::Failed, path_, "no events to wait on");
    HANDLE port = ::CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return OpenFailure(path_, ::GetLastError());
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port, &dcb)) {
        ::CloseHandle(port);
        return Failure(PortOpenStatus::Missing, path_, "not a serial port");
    }
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    // A read returns at once with what is buffered, or with the first byte to arrive; the
    // deadline is kept by the wait in Read, which cancels the read when it passes.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = MAXDWORD - 1;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    if (!::SetCommState(port, &dcb) || !::SetCommTimeouts(port, &timeouts)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(port);
        return Failure(PortOpenStatus::SettingsRefused, path_, "line settings: " + Win32ErrorText(error));
    }
    ::PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    port_ = port;
    ::ResetEvent(wake_);
    SetLines(true, true);
    return PortOpenResult{PortOpenStatus::Opened, {}};
}

void Win32SerialPort::Close()
{
    if (port_ == nullptr)
        return;
    ::CancelIoEx(port_, nullptr);
    ::CloseHandle(port_);
    port_ = nullptr;
}

void Win32SerialPort::SetLines(bool dtr, bool rts)
{
    if (port_ == nullptr)
        return;
    // A port without modem lines refuses these; that is harmless.
    ::EscapeCommFunction(port_, dtr ? SETDTR : CLRDTR);
    ::EscapeCommFunction(port_, rts ? SETRTS : CLRRTS);
}

int Win32SerialPort::Write(const uint8_t* data, std::size_t length, TimePoint deadline)
{
    if (port_ == nullptr)
        return -1;
    std::size_t done = 0;
    while (done < length) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = write_done_;
        ::ResetEvent(write_done_);
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(length - done, 65536));
        DWORD written = 0;
        if (::WriteFile(port_, data + done, chunk, &written, &overlapped)) {
            done += written;
            continue;
        }
        if (::GetLastError() != ERROR_IO_PENDING)
            return -1;
        bool woken = false;
        const int moved = Finish(port_, overlapped, nullptr, deadline, woken);
        if (moved <= 0)
            return -1;
        done += static_cast<std::size_t>(moved);
    }
    return static_cast<int>(done);
}

int Win32SerialPort::Read(uint8_t* buffer, std::size_t capacity, TimePoint deadline)
{
    if (port_ == nullptr)
        return -1;
    if (capacity == 0)
        return 0;
    // An interrupt before the read starts ends it at once, as one during the wait does.
    if (::WaitForSingleObject(wake_, 0) == WAIT_OBJECT_0)
        return 0;
    for (;;) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = read_done_;
        ::ResetEvent(read_done_);
        const DWORD size = static_cast<DWORD>(std::min<std::size_t>(capacity, 65536));
        DWORD got = 0;
        if (::ReadFile(port_, buffer, size, &got, &overlapped)) {
            if (got > 0)
                return static_cast<int>(got);
        } else if (::GetLastError() == ERROR_IO_PENDING) {
            bool woken = false;
            const int moved = Finish(port_, overlapped, wake_, deadline, woken);
            if (woken && moved > 0)
                ::SetEvent(wake_);  // the bytes first; the interrupt ends the next read
            if (moved != 0 || woken)
                return moved;
        } else {
            return -1;
        }
        // Nothing came (a driver that ends reads early): wait a little for an interrupt, then
        // read again until the deadline.
        const DWORD left = MsUntil(deadline);
        if (left == 0 || ::WaitForSingleObject(wake_, left < 10 ? left : 10) == WAIT_OBJECT_0)
            return 0;
    }
}

void Win32SerialPort::Interrupt()
{
    if (wake_ != nullptr)
        ::SetEvent(wake_);
}

std::unique_ptr<SerialPort> MakeSystemSerialPort() { return std::make_unique<Win32SerialPort>(); }

}  // namespace verup
