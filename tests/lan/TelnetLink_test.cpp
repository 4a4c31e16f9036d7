// The telnet link against a scripted server on loopback: negotiation, the recognizer's reply
// kinds, the receive bound and closing. Whole LAN updates against the simulator cover the rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "lan/TelnetLink.h"
#include "platform/Clock.h"
#include "protocol/ReplyKind.h"
#include "support/LoopbackServer.h"

namespace verup {
namespace {

using namespace std::string_literals;

std::string Iac(unsigned char verb, unsigned char option) { return std::string{'\xff', static_cast<char>(verb), static_cast<char>(option)}; }

constexpr unsigned char WILL = 251, WONT = 252, DO = 253, DONT = 254;
const std::string kErrorWord = "\x83\x47\x83\x89\x81\x5b";

// Polls (real time, generous cap) until `done` holds.
bool Eventually(const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class TelnetLinkTest : public ::testing::Test {
protected:
    // Success paths wait up to 10000 device ms (1 s real); time-out cases use short waits.
    static constexpr int kLong = 10000;
    static constexpr int kShort = 300;

    void SetUp() override
    {
        link_.SetNotify([this](int note) {
            std::lock_guard lock(mutex_);
            notes_.push_back(note);
        });
    }

    void Connect()
    {
        ASSERT_EQ(link_.Open("127.0.0.1"), 1);
        ASSERT_TRUE(server_.Accept());
        ASSERT_TRUE(Eventually([&] { return link_.Connected(); }));
    }

    // The server waits for `command`, then answers `reply`; the link exchanges meanwhile.
    int ExchangeAnswered(const std::string& command, const std::string& reply, int kind, int timeout_ms,
                         std::string& got)
    {
        std::thread device([&] {
            server_.Receive(command.size());
            server_.Send(reply);
        });
        const int result = link_.Exchange(command, got, timeout_ms, kind);
        device.join();
        return result;
    }

    int Notes(int which)
    {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count(notes_.begin(), notes_.end(), which));
    }

    // Everything the link's threads call into is declared before the link, so it outlives
    // the link's destructor (which joins those threads).
    Clock clock_{10};
    test::LoopbackServer server_;
    std::mutex mutex_;
    std::vector<int> notes_;
    TelnetLink link_{clock_, server_.Port()};
};

TEST_F(TelnetLinkTest, NegotiationFollowsTheReplyTableAndTheStageRules)
{
    Connect();
    EXPECT_TRUE(Eventually([&] { return Notes(TELNET_CONNECTED) == 1; }));
    // WILL STATUS always gets DONT STATUS: it follows every command below, so a command left
    // unanswered shows as two markers in a row.
    const std::string marker = Iac(WILL, 5);
    const std::string marker_reply = Iac(DONT, 5);
    struct Step {
        std::string sent;
        std::string answer;
    };
    const std::vector<Step> steps = {
        {Iac(DO, 1), ""},                 // DO ECHO before any WILL SGA: no answer
        {Iac(WILL, 3), Iac(DO, 3)},       // first WILL SGA: stage 0 -> 1
        {Iac(WILL, 3), ""},               // stage 1: no answer
        {Iac(DO, 1), Iac(WILL, 1)},       // DO ECHO at stage 1 -> 2
        {Iac(DO, 1), ""},                 // stage 2: no answer
        {Iac(WILL, 3), Iac(DO, 3)},       // second WILL SGA: stage 2 -> 3
        {Iac(WILL, 3), ""},               // a third: no answer
        {Iac(WILL, 1), Iac(DO, 1)},       // WILL ECHO always
        {Iac(WONT, 34), Iac(DONT, 34)},   // WONT LINEMODE
        {Iac(DO, 31), Iac(WONT, 31)},     // DO NAWS
        {Iac(DO, 33), Iac(WONT, 33)},     // DO remote flow control
        {Iac(DONT, 1), Iac(WONT, 1)},     // DONT ECHO
        {Iac(DO, 24), ""},                // terminal type: not understood
        {Iac(WILL, 34), ""},
    };
    std::string sent;
    std::string expected;
    for (const auto& step : steps) {
        sent += step.sent + marker;
        expected += step.answer + marker_reply;
    }
    server_.Send(sent);
    EXPECT_EQ(server_.Receive(expected.size()), expected);
    EXPECT_EQ(link_.NegotiationStage(), 3);
    // Every completed command is reported, answered or not.
    EXPECT_TRUE(Eventually([&] { return Notes(TELNET_NEGOTIATED) == static_cast<int>(2 * steps.size()); }));
    EXPECT_EQ(link_.ReceiveLength(), 0u);
}

struct KindCase {
    int kind;
    std::string reply;
    int result;
    const char* name;  // the test name's tail
};

void PrintTo(const KindCase& c, std::ostream* os)
{
    *os << "kind " << c.kind << " " << c.name;
}

class TelnetReplyKindTest : public TelnetLinkTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(TelnetReplyKindTest, ExchangeEndsAsTheKindSays)
{
    Connect();
    const KindCase& c = GetParam();
    std::string got;
    const int timeout = c.result == EXCHANGE_TIMEOUT ? kShort : kLong;
    EXPECT_EQ(ExchangeAnswered("cmd\r", c.reply, c.kind, timeout, got), c.result);
    EXPECT_EQ(got, c.reply);
}

INSTANTIATE_TEST_SUITE_P(
    TelnetKinds, TelnetReplyKindTest,
    // The plain words of each kind are found by every LAN update; here, the cases it never meets.
    ::testing::Values(KindCase{TRK_COMMAND_PROMPT, "cmd\r\n#", 0, "HashIsNoCommandPrompt"},
                      KindCase{TRK_PASSWORD, "\r\npassword:", 1, "LowerCasePassword"},
                      KindCase{TRK_DL_PROMPT, "\r\nDL.OK\r\n#", 1, "DlPromptWithResult"},
                      KindCase{TRK_DL_RESULT, "\r\nDL.ERROR\r\n#", -2, "DlError"},
                      KindCase{TRK_DL_RESULT, "\r\nDL.ERROR\r\nDL.OK", 1, "DlErrorThenOk"},
                      // The error word counts once the awaited word is in.
                      KindCase{TRK_COMMAND_PROMPT, kErrorWord + "\r\n>", -2, "ErrorWordThenPrompt"},
                      KindCase{TRK_COMMAND_PROMPT, kErrorWord, 0, "ErrorWordAlone"},
                      // The searches stop at a zero byte, as in a zero-terminated text.
                      KindCase{TRK_COMMAND_PROMPT, "a\0\r\n>"s, 0, "StopsAtZeroByte"},
                      KindCase{42, "\r\n>\r\n#", 0, "UnknownKind"}),
    [](const ::testing::TestParamInfo<KindCase>& info) {
        return "Kind" + std::to_string(info.param.kind) + "_" + info.param.name;
    });

TEST_F(TelnetLinkTest, ReceiveBufferIsBoundedAndMoreFailsTheExchange)
{
    Connect();
    std::string got;
    const std::size_t bound = TelnetLink::kReceiveBufferBytes;
    // Exactly full: an upload of the largest size completes.
    const std::string full = std::string(bound - 7, 'u') + "UL.OK\r\n";
    EXPECT_EQ(ExchangeAnswered("upload 31\r", full, TRK_UPLOAD_BULK, kLong, got), 1);
    EXPECT_EQ(got.size(), bound);
    // One area too many: the exchange fails at once, nothing beyond the bound is kept.
    const std::string over = std::string(bound + 4096, 'u') + "UL.OK\r\n";
    EXPECT_EQ(ExchangeAnswered("upload 31\r", over, TRK_UPLOAD_BULK, kLong, got), -2);
    EXPECT_EQ(got.size(), bound);
    // The rest of that reply is dropped as it arrives.
    EXPECT_TRUE(Eventually([&] { return link_.DroppedBytes() == 4096 + 7; }));
    // Byte mode as well.
    const std::string text = std::string(bound + 10, 't') + "\r\n>";
    EXPECT_EQ(ExchangeAnswered("getdata 1\r", text, TRK_COMMAND_PROMPT, kLong, got), -2);
    EXPECT_EQ(got.size(), bound);
}

TEST_F(TelnetLinkTest, NothingIsReportedOnceCloseHasReturned)
{
    Connect();
    // The peer floods negotiation while the link closes: once Close returns, the reader has
    // stopped, so the owner may go.
    std::atomic<bool> flooding{true};
    std::thread peer([&] {
        std::string burst;
        for (int i = 0; i < 1000; ++i)
            burst += Iac(DO, 24);
        while (flooding)
            server_.Send(burst);
    });
    ASSERT_TRUE(Eventually([&] { return Notes(TELNET_NEGOTIATED) > 0; }));
    link_.Close();
    const int seen = Notes(TELNET_NEGOTIATED);
    flooding = false;
    peer.join();
    EXPECT_EQ(Notes(TELNET_NEGOTIATED), seen);
}

}  // namespace
}  // namespace verup
