// The LAN login and the connect operation, against a scripted telnet server on loopback:
// which versions the greeting gives, which step refuses, the watchdog. A greeting of another
// product is refused in the LAN start-up tests.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "lan/LanRoad.h"
#include "platform/Clock.h"
#include "support/LoopbackServer.h"
#include "support/RoadParts.h"

namespace verup {
namespace {

const std::string kPasswordLine = "q4x8m2r7k1w9t3v6b0n5c8z2h7jpdkwa\r";
const std::string kPrompt = "\r\nNEXAVO7300QB\r\n\r\nPassword: ";
const std::string kGreeting =
    "\r\n\r\nNEXAVO7300QB Network Terminal\r\nFarmware Version 1.20 3\r\nTelnet Server Version 2.00\r\n\r\n>";

// One line the device waits for and what it answers.
using Script = std::vector<std::pair<std::string, std::string>>;

Script Login(const std::string& greeting)
{
    return {{kPasswordLine, greeting}, {"administrator\r", "administrator\r\nPassword:"}, {kPasswordLine, "\r\n#"}};
}

class TelnetLoginTest : public ::testing::Test {
protected:
    TelnetLoginTest()
    {
        parts_.cfg.KIKI1 = "NEXAVO7300QB";
        parts_.cfg.KIKI2 = "NEXAVO7300QW";
        parts_.cfg.NUM_LEN = 12;
        parts_.cfg.RETRY = 2;
        parts_.device.FirmwareVersionText = "old firmware";
        parts_.device.TelnetServerText = "old server";
        road_ = std::make_unique<LanRoad>(parts_.Context(), server_.Port());
    }

    // The device: accept, `opening`, then answer each awaited line. Returns ConnectDevice's result.
    int Connect(const std::string& opening, const Script& script, int mode = 0)
    {
        std::thread device([&] {
            if (!server_.Accept())
                return;
            server_.Send(opening);
            for (const auto& [line, answer] : script) {
                received_ += server_.ReceiveUntil(line);
                server_.Send(answer);
            }
        });
        const LanConnect result = road_->ConnectDevice("127.0.0.1", mode);
        road_->Link().Close();
        device.join();
        return static_cast<int>(result);
    }
    std::string Log() const { return parts_.Log(); }

    // Login exchanges wait 5000 device ms: 100 ms real. The watchdog: 300 ms real.
    Clock clock_{50};
    test::LoopbackServer server_;
    test::RoadParts parts_{clock_};
    std::unique_ptr<LanRoad> road_;
    std::string received_;
};

TEST_F(TelnetLoginTest, LogsInAndTakesTheVersionsFromTheGreeting)
{
    const std::string opening = std::string("\xff\xfb\x01", 3) + kPrompt;
    EXPECT_EQ(Connect(opening, Login(kGreeting)), 1);
    EXPECT_EQ(road_->Link().LoginState(), LOGIN_DONE);
    EXPECT_EQ(parts_.device.FirmwareVersionText, "Version 1.20");
    EXPECT_EQ(parts_.device.TelnetServerText, "Version 2.00\r");
    // DO ECHO answered the device's WILL ECHO before the login began.
    EXPECT_EQ(received_, std::string("\xff\xfd\x01", 3) + kPasswordLine + "administrator\r" + kPasswordLine);
    const std::string log = Log();
    EXPECT_NE(log.find("connect ok\r\n"), std::string::npos);
    EXPECT_NE(log.find("IAC data\r\n"), std::string::npos);
    const auto local_ok = log.find("Local Password Check OK\r\n");
    const auto admin_ok = log.find("administrator Password Check OK\r\n");
    ASSERT_NE(local_ok, std::string::npos);
    ASSERT_NE(admin_ok, std::string::npos);
    EXPECT_LT(local_ok, admin_ok);

    // The second product name is accepted too.
    EXPECT_EQ(Connect(kPrompt, Login("\r\nNEXAVO7300QW\r\nFarmware Version 1.30 1\r\n>")), 1);
    EXPECT_EQ(parts_.device.FirmwareVersionText, "Version 1.30");
    // No "Telnet Server ": the text stays as it was.
    EXPECT_EQ(parts_.device.TelnetServerText, "Version 2.00\r");
}

TEST_F(TelnetLoginTest, VersionCutsStayInsideTheFirst250Bytes)
{
    parts_.cfg.NUM_LEN = 400;
    // "Farmware " ends at byte 240: ten bytes of the greeting are left for the version.
    const std::string greeting = "\r\nNEXAVO7300QB" + std::string(240 - 14 - 9, '.') + "Farmware Version 1.20 3 and more text\r\n>";
    const std::string short_server = "\r\nNEXAVO7300QB\r\nTelnet Server V1\r\n>";
    EXPECT_EQ(Connect(kPrompt, Login(greeting)), 1);
    EXPECT_EQ(parts_.device.FirmwareVersionText, "Version 1.");
    EXPECT_EQ(Connect(kPrompt, Login(short_server)), 1);
    EXPECT_EQ(parts_.device.TelnetServerText, "V1\r\n>");
}

// Each step that refuses ends the login with its result and its log line; the greeting was
// read before the administrator step.
TEST_F(TelnetLoginTest, RefusedStepsFailTheLogin)
{
    const struct {
        const char* name;
        std::string opening;
        Script script;
        int result;
        const char* logged;  // "" : no "Password Check" line at all
    } cases[] = {
        {"local password refused", kPrompt, {{kPasswordLine, "\r\nLogin incorrect\r\n\r\nPassword: "}}, -3,
         "Local Password Check ERROR\r\n"},
        {"administrator not asked for a password", kPrompt,
         {{kPasswordLine, kGreeting}, {"administrator\r", "\r\npermission denied\r\n>"}}, -3,
         "administrator Password Input ERROR\r\n"},
        {"administrator password refused", kPrompt,
         {{kPasswordLine, kGreeting}, {"administrator\r", "\r\nPassword:"}, {kPasswordLine, "\r\nLogin incorrect\r\n>"}},
         -3, "administrator Password Check ERROR\r\n"},
        // No exact prompt: the watchdog ends it.
        {"lower-case prompt", "\r\nNEXAVO7300QB\r\n\r\npassword: ", {}, -1, ""},
        // Two tries of 5000 ms plus their nudges outlast the 15000 ms watchdog.
        {"login still running at the watchdog", kPrompt, {}, -3, "Local Password Check ERROR\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        parts_.ClearLog();
        parts_.device.FirmwareVersionText = "old firmware";
        received_.clear();
        EXPECT_EQ(Connect(c.opening, c.script), c.result);
        EXPECT_EQ(Log().find(*c.logged != '\0' ? c.logged : "Password Check") != std::string::npos, *c.logged != '\0')
            << Log();
        EXPECT_EQ(parts_.device.FirmwareVersionText, c.script.size() > 1 ? "Version 1.20" : "old firmware");
    }
}

}  // namespace
}  // namespace verup
