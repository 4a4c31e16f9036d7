// The console's stand-in for the window: messages, the connection choice and the progress.
#include <gtest/gtest.h>

#include <sstream>

#include "ConsoleHost.h"
#include "app/DialogTexts.h"
#include "platform/ProfileFile.h"
#include "support/TempDir.h"

namespace verup::cli {
namespace {

const std::string kTitle = "NEXAVO7300QB\x81\x40X";

class ConsoleHostTest : public ::testing::Test {
protected:
    ConsoleHost& Host(LinkChoice choice = {}, bool terminal = false)
    {
        host = std::make_unique<ConsoleHost>(out, err, terminal, std::move(choice));
        return *host;
    }
    ConnectionRequest Request(int sel, int auto_flag = 0)
    {
        return ConnectionRequest{sel, auto_flag, kTitle, config};
    }
    std::string Key(const char* section, const char* key) { return ProfileFile(config).GetString(section, key, "-", 64); }

    test::TempDir dir;
    std::string config = dir.Write("verup.dat", "[PORTSEL]\r\nPORT=0\r\nCOM=3\r\n[IPADDR]\r\nFIELD=192.168.1.10\r\n");
    std::ostringstream out;
    std::ostringstream err;
    std::unique_ptr<ConsoleHost> host;
};

TEST_F(ConsoleHostTest, MessageBoxesBecomeUtf8ErrorsAndWarningsWithWhatToDo)
{
    Host().ShowMessage(kMsgPortOpenFailed, kTitle, MessageIcon::Stop, MessageOwner::WaitBox);
    EXPECT_NE(err.str().find("error: [NEXAVO7300QB　X] ポートがオープンできません。"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("VERUP_COMn"), std::string::npos);
    // A second line is indented, without carriage returns.
    host->ShowMessage(kMsgSettingsNotSupported, kTitle, MessageIcon::Exclamation, MessageOwner::WaitBox);
    EXPECT_EQ(err.str().find('\r'), std::string::npos);
    EXPECT_NE(err.str().find("warning: "), std::string::npos);
    EXPECT_NE(err.str().find("\n  設定情報を初期化します。"), std::string::npos) << err.str();
    EXPECT_EQ(host->MessageCount(), 2);
    EXPECT_TRUE(out.str().empty());
}

// Without options the remembered choice is taken; an option the SEL offers is taken and
// remembered, except a COM port under AUTO 1, which scans.
TEST_F(ConsoleHostTest, ConnectionFollowsTheOptionsThenVerupDat)
{
    auto result = Host().RunConnectionDialog(Request(2));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->LinkKind, 0);
    EXPECT_EQ(result->ComPortNumber, 3);
    EXPECT_NE(host->LinkDescription().find("COM3"), std::string::npos);

    result = Host(LinkChoice{std::nullopt, "10.0.0.7", std::nullopt}).RunConnectionDialog(Request(2));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->LinkKind, 1);
    EXPECT_EQ(result->DeviceAddress, "10.0.0.7");
    EXPECT_EQ(Key("PORTSEL", "PORT"), "1");
    EXPECT_EQ(Key("IPADDR", "FIELD"), "10.0.0.7");

    result = Host(LinkChoice{5, std::nullopt, std::nullopt}).RunConnectionDialog(Request(1, 1));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->ComPortNumber, 10);
    EXPECT_NE(host->LinkDescription().find("AUTO=1"), std::string::npos);
    EXPECT_EQ(Key("PORTSEL", "COM"), "3") << "COM is not written with AUTO 1";
}

// An option the SEL does not offer is a usage error; a bad stored address refuses even the
// serial choice, as the dialog would.
TEST_F(ConsoleHostTest, OptionTheSelDoesNotOfferOrABadStoredAddressRefuses)
{
    EXPECT_FALSE(Host(LinkChoice{2, std::nullopt, std::nullopt}).RunConnectionDialog(Request(0)));
    EXPECT_TRUE(host->ConnectionUsageError());
    EXPECT_NE(err.str().find("--lan"), std::string::npos);
    EXPECT_FALSE(Host(LinkChoice{std::nullopt, "10.0.0.7", std::nullopt}).RunConnectionDialog(Request(1)));
    EXPECT_TRUE(host->ConnectionUsageError());

    config = dir.Write("verup.dat", "[PORTSEL]\r\nPORT=0\r\nCOM=3\r\n[IPADDR]\r\nFIELD=1.2.3\r\n");
    EXPECT_FALSE(Host(LinkChoice{1, std::nullopt, std::nullopt}).RunConnectionDialog(Request(2)));
    ASSERT_TRUE(host->ConnectionProblem());
    EXPECT_FALSE(host->ConnectionUsageError());
    EXPECT_NE(err.str().find("IPアドレスに間違いがあります。"), std::string::npos) << err.str();
}

TEST_F(ConsoleHostTest, PlainProgressPrintsStagesAndEveryTenthOnce)
{
    ConsoleHost& h = Host();
    h.SetProgressRange(0, 40);
    for (int p = 0; p <= 40; ++p)
        h.SetProgressPos(p);
    h.RefreshFields(BoundTexts{"", "", std::string(kStageTexts[2]) + kDotTexts[0], ""});
    h.RefreshFields(BoundTexts{"", "", std::string(kStageTexts[2]) + kDotTexts[3], ""});
    const std::string text = out.str();
    int progress_lines = 0;
    for (std::size_t p = text.find("progress: "); p != std::string::npos; p = text.find("progress: ", p + 1))
        ++progress_lines;
    EXPECT_EQ(progress_lines, 11) << text;
    EXPECT_NE(text.find("progress: 50% (step 20 of 40)"), std::string::npos) << text;
    EXPECT_NE(text.find("status: バージョンアップ作業中 (writing the firmware)\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("．"), std::string::npos) << "the animation dots are no stage change";
}

TEST_F(ConsoleHostTest, TerminalGetsABarOnOneLine)
{
    ConsoleHost& h = Host({}, true);
    h.SetProgressRange(0, 4);
    h.SetProgressPos(2);
    h.FinishProgress();
    h.Say("done");
    EXPECT_NE(out.str().find("\r[###############...............]  50%"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("\ndone\n"), std::string::npos);
}

}  // namespace
}  // namespace verup::cli
