// Reaching the device over the LAN: echo check, telnet connection, wait for the login.
#include <string>

#include "app/CUpdateDlg.h"
#include "lan/TelnetLink.h"
#include "platform/IcmpEcho.h"

namespace verup {
namespace {

constexpr int kEchoAttemptsMode1 = 11;
constexpr int kEchoAttemptsMode2 = 32;
constexpr int64_t kEchoPauseMs = 3000;       ///< ms between two echo attempts
constexpr int64_t kNoEchoWaitMs = 1000;      ///< ms waited instead of the echo check (mode 0)
constexpr int64_t kLoginWatchdogMs = 15000;  ///< ms for the login to reach an outcome

int EchoAttempts(int mode)
{
    switch (mode) {
    case 1:
        return kEchoAttemptsMode1;
    case 2:
        return kEchoAttemptsMode2;
    default:
        return 0;
    }
}

}  // namespace

int CUpdateDlg::ConnectDevice(const std::string& address, int mode)
{
    TelnetLink& link = LanLink();
    const int attempts = EchoAttempts(mode);
    if (attempts == 0) {
        clock.SleepMs(kNoEchoWaitMs);
    } else {
        for (int attempt = 1;; ++attempt) {
            IcmpMethod method = IcmpMethod::None;
            const int echo = IcmpPing(address, clock, &method);
            Report(-1, "icmp echo " + address + " (" + IcmpMethodName(method) + "): " + std::to_string(echo) + "\r\n");
            if (echo == ICMP_ANSWERED)
                break;
            if (attempt >= attempts)
                return 0;
            clock.SleepMs(kEchoPauseMs);
        }
    }
    if (link.Open(address) != 1)
        return 0;
    timers.Set(TIMER_WATCHDOG, kLoginWatchdogMs, [&link] { link.ExpireLogin(); });
    const int state = link.WaitLoginOutcome();
    timers.Kill(TIMER_WATCHDOG);
    switch (state) {
    case LOGIN_DONE:
        return 1;
    case LOGIN_REFUSED:
        return -3;
    case LOGIN_WRONG_PRODUCT:
        return -2;
    default:
        return -1;
    }
}

}  // namespace verup
