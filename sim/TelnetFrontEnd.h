#pragma once
// The device's telnet server on a loopback port: option negotiation from the server's side,
// the password login, the administrator shell with the flash commands, and the raw data
// blocks of "download" and "upload". Refuses connections while the device restarts.
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "SimDevice.h"

namespace devsim {

// The telnet password of the local and the administrator login.
inline constexpr const char* kTelnetPassword = "q4x8m2r7k1w9t3v6b0n5c8z2h7jpdkwa";

struct TelnetOptions {
    int Port = 2323;  // 0: any free port (see Port())
    std::string BindAddress = "127.0.0.1";
};

class TelnetFrontEnd {
public:
    TelnetFrontEnd(SimDevice& device, TelnetOptions options);
    ~TelnetFrontEnd();
    TelnetFrontEnd(const TelnetFrontEnd&) = delete;
    TelnetFrontEnd& operator=(const TelnetFrontEnd&) = delete;

    bool Start(std::string* error);
    void Stop();
    // The port listened on (the chosen one when started with 0).
    int Port() const { return port_; }

private:
    void Run();
    bool OpenListener(std::string* error);
    void CloseListener();

    SimDevice& device_;
    TelnetOptions options_;
    int listen_fd_ = -1;
    std::atomic<int> port_{0};
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

}  // namespace devsim
