#pragma once
// For the simulated device's own tests: the simulator started on the default package, and raw
// clients of it (the pty opened as a serial port, a plain TCP socket).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "PackageMaker.h"
#include "SimHarness.h"
#include "platform/Clock.h"
#include "support/RawStream.h"
#include "support/TempDir.h"

namespace verup::test {

// The pty's slave side opened the way the tool opens its port: raw, 115200 baud.
inline RawStream OpenSerial(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return RawStream();
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B115200);
    ::cfsetospeed(&tio, B115200);
    ::tcsetattr(fd, TCSANOW, &tio);
    return RawStream(fd);
}

// A TCP connection to 127.0.0.1:port; not open when refused.
inline RawStream ConnectLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return RawStream();
    }
    return RawStream(fd);
}

// The simulator started on the package the default PackageOptions make.
class DevsimFixture : public ::testing::Test {
protected:
    // Writes the package and starts the simulator; `front_end` picks the links, then
    // Configure has its say.
    void StartSim(const std::function<void(devsim::HarnessOptions&)>& front_end)
    {
        std::string error;
        ASSERT_TRUE(devsim::WritePackage(dir_.Path(), devsim::PackageOptions{}, &error)) << error;
        devsim::HarnessOptions options;
        ASSERT_TRUE(devsim::SimHarness::UsePackage(options, dir_.Path(), &error)) << error;
        front_end(options);
        Configure(options);
        sim_ = std::make_unique<devsim::SimHarness>(options, clock_);
        ASSERT_TRUE(sim_->Start(&error)) << error;
    }
    virtual void Configure(devsim::HarnessOptions&) {}

    devsim::SimDevice& Device() { return sim_->Device(); }

    TempDir dir_;
    Clock clock_{50};
    std::unique_ptr<devsim::SimHarness> sim_;
};

}  // namespace verup::test
