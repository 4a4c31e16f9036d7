// Reaching the device over the LAN: echo check, telnet connection, wait for the login.
#include <string>

#include "lan/LanRoad.h"
#include "lan/TelnetLink.h"
#include "platform/IcmpEcho.h"

namespace verup {
namespace {

constexpr int kEchoAttemptsMode1 = 11;
constexpr int kEchoAttemptsMode2 = 32;
constexpr int64_t kEchoPauseMs = 3000;       ///< ms between two echo attempts
constexpr int64_t kNoEchoWaitMs = 1000;      ///< ms waited instead of the echo check (mode 0)
// Over the LAN the settings are read back after the restart: with the echo check first.
constexpr int kConnectWithEchoCheck = 1;
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

LanConnect LanRoad::ConnectDevice(const std::string& address, int mode)
{
    const int attempts = EchoAttempts(mode);
    if (attempts == 0) {
        ctx_.clock.SleepMs(kNoEchoWaitMs);
    } else {
        for (int attempt = 1;; ++attempt) {
            IcmpMethod method = IcmpMethod::None;
            const int echo = IcmpPing(address, ctx_.clock, &method);
            ctx_.Log("icmp echo " + address + " (" + IcmpMethodName(method) + "): " + std::to_string(echo) + "\r\n");
            if (echo == ICMP_ANSWERED)
                break;
            if (attempt >= attempts)
                return LanConnect::NoAnswer;
            ctx_.clock.SleepMs(kEchoPauseMs);
        }
    }
    if (link_.Open(address) != 1)
        return LanConnect::NoAnswer;
    ctx_.timers.Set(TIMER_WATCHDOG, kLoginWatchdogMs, [this] { link_.ExpireLogin(); });
    // The watchdog leaves a login that has begun to decide the outcome itself.
    if (link_.WaitLoginStart())
        link_.EndLogin(Login());
    const int state = link_.WaitLoginOutcome();
    ctx_.timers.Kill(TIMER_WATCHDOG);
    switch (state) {
    case LOGIN_DONE:
        return LanConnect::LoggedIn;
    case LOGIN_REFUSED:
        return LanConnect::Refused;
    case LOGIN_WRONG_PRODUCT:
        return LanConnect::WrongProduct;
    default:
        return LanConnect::NoLogin;
    }
}

LanConnect LanRoad::ConnectWithRetries(const std::string& address, int mode, int* failures)
{
    LanConnect result = LanConnect::NoAnswer;
    for (int attempt = 0; attempt < channel_.AttemptCount; ++attempt) {
        result = ConnectDevice(address, mode);
        if (result != LanConnect::NoLogin)
            break;
        link_.Close();
        if (failures != nullptr)
            ++*failures;
    }
    return result;
}

bool LanRoad::EnterShell(std::string& problem)
{
    if (link_.Connected() && link_.LoginState() == LOGIN_DONE)
        return true;
    for (int attempt = 0; attempt < channel_.AttemptCount; ++attempt) {
        link_.Close();
        if (ConnectDevice(DeviceAddress, kConnectWithEchoCheck) == LanConnect::LoggedIn)
            return true;
    }
    link_.Close();
    problem = "no telnet login at " + DeviceAddress;
    return false;
}

}  // namespace verup
