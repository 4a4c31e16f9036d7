#include "platform/PosixSerialPort.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "platform/SerialPortNames.h"

namespace verup {
namespace {

int MsUntil(SerialPort::TimePoint deadline)
{
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero())
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > 1000000 ? 1000000 : static_cast<int>(ms);
}

PortOpenResult Failure(PortOpenStatus status, const std::string& path, const std::string& what)
{
    return PortOpenResult{status, path + ": " + what};
}

PortOpenResult OpenFailure(const std::string& path, int error)
{
    switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return Failure(PortOpenStatus::Missing, path, "no such port");
    case EBUSY:
    case EWOULDBLOCK:
        return Failure(PortOpenStatus::Busy, path, "port busy (used by another program)");
    case EACCES:
    case EPERM:
        return Failure(PortOpenStatus::Permission, path,
                       "permission denied (the user must be in the dialout group)");
    default:
        return Failure(PortOpenStatus::Failed, path, std::strerror(error));
    }
}

}  // namespace

PosixSerialPort::PosixSerialPort(Resolver resolver) : resolver_(std::move(resolver))
{
    if (!resolver_)
        resolver_ = ResolvePortName;
    if (::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0)
        wake_[0] = wake_[1] = -1;
}

PosixSerialPort::~PosixSerialPort()
{
    Close();
    for (int fd : wake_)
        if (fd >= 0)
            ::close(fd);
}

PortOpenResult PosixSerialPort::Open(const std::string& name)
{
    Close();
    path_ = resolver_(name);
    if (wake_[0] < 0)
        return Failure(PortOpenStatus::Failed, path_, "no wake-up pipe");
    const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return OpenFailure(path_, errno);
    if (!::isatty(fd)) {
        ::close(fd);
        return Failure(PortOpenStatus::Missing, path_, "not a serial port");
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return OpenFailure(path_, error == EWOULDBLOCK ? EBUSY : error);
    }
    // Keeps out openers that do not flock; root passes it, the flock above still holds.
    if (::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) {
        const int error = errno;
        ::close(fd);
        return OpenFailure(path_, error);
    }

    termios tio {};
    if (::tcgetattr(fd, &tio) != 0) {
        const int error = errno;
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return Failure(PortOpenStatus::SettingsRefused, path_, std::string("line settings: ") + std::strerror(error));
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, B115200) != 0 || ::cfsetospeed(&tio, B115200) != 0 ||
        ::tcsetattr(fd, TCSANOW, &tio) != 0) {
        const int error = errno;
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return Failure(PortOpenStatus::SettingsRefused, path_, std::string("line settings: ") + std::strerror(error));
    }
    fd_ = fd;
    DrainWakePipe();
    SetLines(true, true);
    return PortOpenResult{PortOpenStatus::Opened, {}};
}

void PosixSerialPort::Close()
{
    if (fd_ < 0)
        return;
    // The exclusive flag outlives our descriptor while another holds the tty open.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

void PosixSerialPort::SetLines(bool dtr, bool rts)
{
    if (fd_ < 0)
        return;
    int set = 0;
    int clear = 0;
    (dtr ? set : clear) |= TIOCM_DTR;
    (rts ? set : clear) |= TIOCM_RTS;
    // A pseudo-terminal has no modem lines: ENOTTY/EINVAL are expected and harmless.
    if (set != 0)
        ::ioctl(fd_, TIOCMBIS, &set);
    if (clear != 0)
        ::ioctl(fd_, TIOCMBIC, &clear);
}

int PosixSerialPort::Write(const uint8_t* data, std::size_t length, TimePoint deadline)
{
    if (fd_ < 0)
        return -1;
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd_, data + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return -1;
        pollfd p {fd_, POLLOUT, 0};
        const int wait = MsUntil(deadline);
        if (wait == 0)
            return -1;
        if (::poll(&p, 1, wait) < 0 && errno != EINTR)
            return -1;
        if ((p.revents & (POLLERR | POLLNVAL)) != 0)
            return -1;
    }
    return static_cast<int>(done);
}

int PosixSerialPort::Read(uint8_t* buffer, std::size_t capacity, TimePoint deadline)
{
    if (fd_ < 0)
        return -1;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, capacity);
        if (n > 0)
            return static_cast<int>(n);
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return -1;  // EIO: the other end of a pseudo-terminal is gone
        pollfd p[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int wait = MsUntil(deadline);
        if (wait == 0)
            return 0;
        const int r = ::poll(p, 2, wait);
        if (r < 0 && errno != EINTR)
            return -1;
        if ((p[1].revents & POLLIN) != 0) {
            DrainWakePipe();
            return 0;
        }
        if ((p[0].revents & (POLLERR | POLLNVAL)) != 0)
            return -1;
        if ((p[0].revents & POLLHUP) != 0 && (p[0].revents & POLLIN) == 0)
            return -1;
        if (r == 0)
            return 0;
    }
}

void PosixSerialPort::Interrupt()
{
    if (wake_[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_[1], &byte, 1);
    }
}

void PosixSerialPort::DrainWakePipe()
{
    char scratch[64];
    while (wake_[0] >= 0 && ::read(wake_[0], scratch, sizeof scratch) > 0) {
    }
}

std::unique_ptr<SerialPort> MakeSystemSerialPort() { return std::make_unique<PosixSerialPort>(); }

}  // namespace verup
