// Saving, converting and restoring the device's settings through the command channel, against
// a scripted device shell that keeps its settings in memory.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "serial/SerialRoad.h"
#include "settings/SettingsCarrier.h"
#include "settings/SettingsTable.h"
#include "support/RoadParts.h"
#include "support/ScriptedLink.h"
#include "support/TempDir.h"

namespace verup {
namespace {

using test::Answer;
using test::ScriptedLink;
using test::ScriptedReply;
using test::Silence;

const std::string kTitle = "NEXAVO7300QB\x81\x40X\x81\x40Ver 1.01";
const std::string kPrompt = "\r\n# ";

// The firmware shell's settings commands. Lines end in CR CR LF as the shell prints them;
// the confirmations end in CR LF.
class FakeShell {
public:
    std::map<int, std::vector<std::string>> Blocks;
    std::map<int, std::vector<std::string>> Written;  // what putdata set, by block
    bool Saved = false;
    // Faults
    bool ShoutConfirmation = false;          // "LOAD DATA_3 OK"
    bool ConfirmWithItemNumber = false;      // "write data_<item> ok"
    int HoldConfirmationForNudges = 0;       // the confirmation comes with this nudge
    bool Mute = false;                       // no prompt at all
    int LoseGetdataReplies = 0;              // this many getdata commands go unanswered
    bool ForgetOnSave = false;               // savedata answers but keeps the old blocks

    ScriptedReply operator()(const std::string& command, int)
    {
        if (Mute)
            return Silence();
        if (command == "\r") {
            if (pending_.empty())
                return Answer(kPrompt);
            if (--nudges_left_ > 0)
                return Answer(kPrompt);
            std::string reply = pending_ + kPrompt;
            pending_.clear();
            return Answer(reply);
        }
        int block = 0;
        int item = 0;
        int used = 0;
        if (std::sscanf(command.c_str(), "getdata %d\r%n", &block, &used) == 1 && used == static_cast<int>(command.size())) {
            if (LoseGetdataReplies > 0 && LoseGetdataReplies--)
                return Silence(command);
            std::string reply = "getdata " + std::to_string(block) + "\r\r\n";
            const auto& items = Blocks[block];
            for (const auto& item : items)
                reply += item + "\r\r\n";
            std::string confirmation = "load data_" + std::to_string(block) + " ok\r\n";
            if (ShoutConfirmation)
                for (char& c : confirmation)
                    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            return Confirm(reply, confirmation);
        }
        if (std::sscanf(command.c_str(), "putdata %d %d %n", &block, &item, &used) == 2 && command.back() == '\r') {
            const std::string value = command.substr(static_cast<std::size_t>(used), command.size() - used - 1);
            auto& items = Written[block];
            if (static_cast<int>(items.size()) < item)
                items.resize(static_cast<std::size_t>(item));
            items[static_cast<std::size_t>(item - 1)] = value;
            const int number = ConfirmWithItemNumber ? item : block;
            return Confirm(command + "\r\n", "write data_" + std::to_string(number) + " ok\r\n");
        }
        if (command == "savedata restart\r") {
            Saved = true;
            for (const auto& [b, items] : Written)
                if (!ForgetOnSave)
                    Blocks[b] = items;
            return Answer("savedata restart\r\r\n\r\nWrite OK");
        }
        return Answer(command + "\r\nunknown command" + kPrompt);
    }

private:
    ScriptedReply Confirm(const std::string& reply, const std::string& confirmation)
    {
        if (HoldConfirmationForNudges > 0) {
            pending_ = confirmation;
            nudges_left_ = HoldConfirmationForNudges;
            return Answer(reply + kPrompt);
        }
        return Answer(reply + confirmation + kPrompt);
    }

    std::string pending_;
    int nudges_left_ = 0;
};

class SettingsTransferTest : public ::testing::Test {
protected:
    SettingsTransferTest()
    {
        parts.cfg.NAME1 = "NEXAVO7300QB";
        parts.cfg.NAME2 = "X";
        road.Channel().AttemptCount = 1;
        carrier.BackupFilePath = dir.File("state/7300qb.tmp");
        link.SetResponder([this](const std::string& command, int kind) { return shell(command, kind); });
    }

    void UseLayout(std::vector<int> items)
    {
        carrier.SettingsLayout = SettingsLayoutTable{static_cast<int>(items.size()), items};
    }
    std::string Backup() const { return test::TempDir::ReadFile(carrier.BackupFilePath); }
    std::vector<std::string> Commands() const { return link.Commands(); }
    bool Logged(const std::string& text) const { return parts.Log().find(text) != std::string::npos; }
    int Count(const std::string& text) const
    {
        int n = 0;
        const std::string log = parts.Log();
        for (std::size_t p = log.find(text); p != std::string::npos; p = log.find(text, p + text.size()))
            ++n;
        return n;
    }

    test::TempDir dir;
    Clock clock{1000};
    test::RoadParts parts{clock};
    FakeShell shell;
    ScriptedLink link;
    SerialRoad road{parts.Context(), link};
    SettingsCarrier carrier{parts.Context()};
};

TEST_F(SettingsTransferTest, SaveReadsEveryBlockAndWritesThePrivateBackup)
{
    UseLayout({2, 1});
    shell.Blocks[1] = {"A", "B"};
    shell.Blocks[2] = {"x\x01y"};

    ASSERT_EQ(carrier.SaveDeviceSettings(road, carrier.BackupFilePath), 1);
    EXPECT_TRUE(carrier.BackupWrittenThisRun);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"getdata 1\r", "getdata 2\r"}));
    EXPECT_EQ(Backup(), kTitle + "\r\nA\r\nB\r\nx\x01y\r\n");
    EXPECT_EQ(carrier.Settings->Item(1, 2), "B");
    EXPECT_EQ(parts.progress.Position(), 2);
    EXPECT_TRUE(Logged("getdata 1\r\ndata 1 read OK\r\ngetdata 2\r\ndata 2 read OK\r\n"));
}

TEST_F(SettingsTransferTest, SaveThenRestorePutsEveryItemBackAndStoresIt)
{
    UseLayout({2, 0, 1});
    shell.Blocks[1] = {"A", ""};
    shell.Blocks[3] = {std::string(300, 'L')};
    ASSERT_EQ(carrier.SaveDeviceSettings(road, carrier.BackupFilePath), 1);
    EXPECT_EQ(Commands().at(1), "getdata 2\r") << "a block without items is still fetched";

    ASSERT_EQ(carrier.RestoreDeviceSettings(road, carrier.BackupFilePath), 1);
    EXPECT_FALSE(carrier.SettingsRestored) << "not before the device shows them";
    const std::vector<std::string> all = Commands();
    const std::vector<std::string> tail(all.begin() + 3, all.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"putdata 1 1 A\r", "putdata 1 2 \r", "putdata 3 1 " + std::string(300, 'L') + "\r",
                                              "savedata restart\r"}));
    EXPECT_EQ(shell.Written[3].at(0), std::string(300, 'L'));
    EXPECT_TRUE(shell.Saved);
    EXPECT_TRUE(Logged("putdata 2\r\ndata 2 write OK\r\nputdata 3\r\n"));
    EXPECT_TRUE(Logged("data 3 write OK\r\nsavedata restart\r\n"));
    EXPECT_EQ(parts.progress.Position(), 6);
    EXPECT_EQ(link.Sent().back().timeout_ms, 5000);
    EXPECT_EQ(link.Sent().back().kind, RK_WRITE_OK_LINE);

    // Read back through the shell once the device is up: the same items, block by block.
    ASSERT_EQ(carrier.ConfirmRestoredSettings(road), 1);
    EXPECT_TRUE(carrier.SettingsRestored);
    const std::vector<std::string> after = Commands();
    EXPECT_EQ(std::vector<std::string>(after.begin() + static_cast<std::ptrdiff_t>(all.size()), after.end()),
              (std::vector<std::string>{"ATT1\r", "\r", "getdata 1\r", "getdata 2\r", "getdata 3\r", "exit\r"}));
    EXPECT_TRUE(Logged("data 3 check OK\r\n"));
    EXPECT_EQ(parts.progress.Position(), 9);
}

TEST_F(SettingsTransferTest, ReadBackOfOtherValuesIsNotConfirmed)
{
    UseLayout({1, 2});
    shell.Blocks[1] = {"a"};
    shell.Blocks[2] = {"b", "c"};
    ASSERT_EQ(carrier.SaveDeviceSettings(road, carrier.BackupFilePath), 1);
    ASSERT_EQ(carrier.RestoreDeviceSettings(road, carrier.BackupFilePath), 1);
    shell.ForgetOnSave = true;
    shell.Blocks[2] = {"b", "default"};  // what a device holds that stored nothing
    EXPECT_EQ(carrier.ConfirmRestoredSettings(road), 0);
    EXPECT_FALSE(carrier.SettingsRestored);
    EXPECT_EQ(carrier.SettingsProblem, "block 2 item 2 reads back other than what was written");
    EXPECT_EQ(Commands().back(), "exit\r") << "the shell is left as it was entered";
}

// Without "Write OK" the device may hold the settings only until its next restart.
TEST_F(SettingsTransferTest, SavedataIsSentOnceAndItsSilenceFailsTheRestore)
{
    UseLayout({});
    road.Channel().AttemptCount = 3;
    ASSERT_EQ(carrier.SaveDeviceSettings(road, carrier.BackupFilePath), 1);
    shell.Mute = true;
    EXPECT_EQ(carrier.RestoreDeviceSettings(road, carrier.BackupFilePath), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"savedata restart\r"}));
    EXPECT_NE(carrier.SettingsProblem.find("savedata restart"), std::string::npos);
}

// The confirmation counts in either case, and when it comes only with the second nudge.
TEST_F(SettingsTransferTest, ConfirmationIsCaseInsensitiveAndMayComeWithTheSecondNudge)
{
    UseLayout({0, 0, 1});
    shell.Blocks[3] = {"v"};
    shell.ShoutConfirmation = true;
    EXPECT_EQ(carrier.SaveDeviceSettings(road, carrier.BackupFilePath), 1);
    EXPECT_FALSE(Logged("retry"));

    link.Clear();
    std::filesystem::remove(carrier.BackupFilePath);  // each save writes a file of its own
    UseLayout({1});
    shell.Blocks[1] = {"w"};
    shell.HoldConfirmationForNudges = 2;
    ASSERT_EQ(carrier.SaveDeviceSettings(road, carrier.BackupFilePath), 1);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"getdata 1\r", "\r", "\r"}));
    EXPECT_EQ(Count("retry"), 2);
    EXPECT_EQ(carrier.Settings->Item(1, 1), "w");
}

// A save that cannot list every block whole, or cannot write its file, writes no backup.
TEST_F(SettingsTransferTest, FailedSaveWritesNoBackup)
{
    const struct {
        const char* name;
        std::vector<int> layout;
        std::function<void()> fault;
        std::vector<std::string> commands;  // empty: not checked
        const char* problem;
    } cases[] = {
        {"getdata unanswered as often as RETRY allows", {1},
         [this] { shell.LoseGetdataReplies = 2; road.Channel().AttemptCount = 2; },
         {"getdata 1\r", "\r", "\r", "\r", "\r", "getdata 1\r", "\r", "\r", "\r", "\r"},
         "getdata 1: the device did not list the block (no \"load data_1 ok\")"},
        {"no confirmation after three nudges", {1, 1},
         [this] { shell.HoldConfirmationForNudges = 3; },
         {"getdata 1\r", "\r", "\r", "\r"}, "getdata 1: the device did not list"},
        {"no shell prompt: one try and the channel's own nudge", {1, 1},
         [this] { shell.Mute = true; }, {"getdata 1\r", "\r"}, "getdata 1"},
        {"backup folder unwritable", {1},
         [this] {
             dir.Write("blocker", "a file where the folder should be");
             carrier.BackupFilePath = dir.File("blocker/7300qb.tmp");
         },
         {}, "settings backup not written"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeShell fresh;
        shell = fresh;
        link.SetResponder([this](const std::string& command, int kind) { return shell(command, kind); });
        link.Clear();
        road.Channel().AttemptCount = 1;
        carrier.BackupFilePath = dir.File("state/7300qb.tmp");
        std::filesystem::remove(carrier.BackupFilePath);
        UseLayout(c.layout);
        shell.Blocks[1] = {"a", "b", "c"};
        c.fault();
        EXPECT_EQ(carrier.SaveDeviceSettings(road, carrier.BackupFilePath), 0);
        EXPECT_FALSE(carrier.BackupWrittenThisRun);
        EXPECT_FALSE(std::filesystem::exists(carrier.BackupFilePath));
        if (!c.commands.empty()) {
            EXPECT_EQ(Commands(), c.commands);
        }
        EXPECT_EQ(carrier.SettingsProblem.rfind(c.problem, 0), 0u) << carrier.SettingsProblem;
    }
    // A layout beyond the table sends nothing at all.
    link.Clear();
    carrier.SettingsLayout = SettingsLayoutTable{1, {1024}};
    carrier.SettingsLayout.Capped = true;
    EXPECT_EQ(carrier.SaveDeviceSettings(road, carrier.BackupFilePath), 0);
    EXPECT_TRUE(Commands().empty());
}

TEST_F(SettingsTransferTest, PutdataIsConfirmedByTheBlockNumberNotTheItem)
{
    UseLayout({0, 5});
    shell.Blocks[2] = {"a", "b", "c", "d", "e"};
    ASSERT_EQ(carrier.SaveDeviceSettings(road, carrier.BackupFilePath), 1);
    shell.ConfirmWithItemNumber = true;
    EXPECT_EQ(carrier.RestoreDeviceSettings(road, carrier.BackupFilePath), 0);
    EXPECT_FALSE(carrier.SettingsRestored);
    EXPECT_EQ(Commands().at(2), "putdata 2 1 a\r");
    EXPECT_EQ(Count("retry"), 3);
    EXPECT_FALSE(shell.Saved) << "savedata is not sent after a failed putdata";
}

TEST_F(SettingsTransferTest, RestoreRefusesAForeignShortOrStrangeBackupWithoutSending)
{
    UseLayout({2});
    shell.Blocks[1] = {"a", "b"};
    ASSERT_EQ(carrier.SaveDeviceSettings(road, carrier.BackupFilePath), 1);
    const std::size_t sent = Commands().size();

    dir.Write("state/7300qb.tmp", "NEXAVO7300QB\x81\x40Y\x81\x40Ver 1.01\r\na\r\nb\r\n");
    EXPECT_EQ(carrier.RestoreDeviceSettings(road, carrier.BackupFilePath), 0);
    dir.Write("state/7300qb.tmp", kTitle + "\r\na\r\n");
    EXPECT_EQ(carrier.RestoreDeviceSettings(road, carrier.BackupFilePath), 0);
    std::filesystem::remove(carrier.BackupFilePath);
    EXPECT_EQ(carrier.RestoreDeviceSettings(road, carrier.BackupFilePath), 0);
    // Nor one this run did not write, however well it reads.
    SettingsCarrier fresh{parts.Context()};
    fresh.SettingsLayout = carrier.SettingsLayout;
    dir.Write("state/7300qb.tmp", kTitle + "\r\na\r\nb\r\n");
    EXPECT_EQ(fresh.RestoreDeviceSettings(road, carrier.BackupFilePath), 0);
    EXPECT_EQ(Commands().size(), sent);
    EXPECT_FALSE(carrier.SettingsRestored);
}

class SettingsConversionTest : public SettingsTransferTest {
protected:
    // O_SAVE two blocks of three; C_DATA three of two; C_SAVE as given.
    void PrepareOldBackup(const std::string& c_save)
    {
        std::filesystem::remove(carrier.BackupFilePath);  // each save writes a file of its own
        dir.Write("verup.dat", "[C_SAVE]\r\n" + c_save);
        parts.cfg.C_SAVE = Package::Read(dir.Path(), PackageImages::Skip).Configuration().C_SAVE;
        UseLayout({3, 3});
        shell.Blocks[1] = {"1", "2", "3"};
        shell.Blocks[2] = {"4", "5", "6"};
        ASSERT_EQ(carrier.SaveDeviceSettings(road, carrier.BackupFilePath), 1);
        carrier.ConvertOnRestore = 1;
        carrier.ConversionLayout = SettingsLayoutTable{3, {2, 2, 2}};
    }
    std::vector<std::string> Putdata() const
    {
        std::vector<std::string> out;
        for (const auto& c : Commands())
            if (c.rfind("putdata", 0) == 0)
                out.push_back(c);
        return out;
    }
};

// Old lines are dealt out to the new blocks; slots the old file does not supply keep what the
// save stored there (item 3 of block 1), or nothing (block 4).
TEST_F(SettingsConversionTest, OldLinesAreDealtOutToTheNewBlocks)
{
    PrepareOldBackup("NUM=3\r\n1=2\r\n2=2\r\n3=2\r\n");
    ASSERT_EQ(carrier.RestoreDeviceSettings(road, carrier.BackupFilePath), 1);
    EXPECT_EQ(Putdata(), (std::vector<std::string>{"putdata 1 1 1\r", "putdata 1 2 2\r", "putdata 2 1 3\r",
                                                   "putdata 2 2 4\r", "putdata 3 1 5\r", "putdata 3 2 6\r"}));
    EXPECT_EQ(Backup(), kTitle + "\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n");
    EXPECT_EQ(carrier.SettingsLayout.BlockCount, 3);
    EXPECT_TRUE(Logged("new data <- old data\r\n"));

    PrepareOldBackup("NUM=4\r\n1=3\r\n2=2\r\n3=2\r\n4=1\r\n");
    ASSERT_EQ(carrier.RestoreDeviceSettings(road, carrier.BackupFilePath), 1);
    EXPECT_EQ(Backup(), kTitle + "\r\n1\r\n2\r\n3\r\n3\r\n4\r\n5\r\n6\r\n\r\n");
    EXPECT_EQ(Putdata().back(), "putdata 4 1 \r");
}

TEST_F(SettingsConversionTest, FailedOrForeignConversionSendsNothingAndKeepsTheFile)
{
    PrepareOldBackup("NUM=3\r\n1=2\r\n2=2\r\n3=2\r\n");
    carrier.ConversionLayout = SettingsLayoutTable{4, {2, 2, 2, 1}};  // wants seven lines, the file has six
    const std::string before = Backup();
    const std::size_t sent = Commands().size();
    EXPECT_EQ(carrier.RestoreDeviceSettings(road, carrier.BackupFilePath), 0);
    EXPECT_EQ(Commands().size(), sent);
    EXPECT_EQ(Backup(), before);
    EXPECT_EQ(carrier.SettingsLayout.BlockCount, 2) << "the layout is not replaced";
    EXPECT_FALSE(Logged("new data <- old data"));
    // Nor is a file of another product.
    const std::string foreign = "OTHER\x81\x40X\x81\x40Ver 1.01\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n";
    dir.Write("state/7300qb.tmp", foreign);
    EXPECT_EQ(carrier.ConvertSavedSettings(carrier.BackupFilePath), 0);
    EXPECT_EQ(Backup(), foreign);
}

TEST_F(SettingsTransferTest, WithoutConversionTheValueRulesNeverApply)
{
    UseLayout({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2});
    shell.Blocks[19] = {"4", "4"};
    ASSERT_EQ(carrier.SaveDeviceSettings(road, carrier.BackupFilePath), 1);
    ASSERT_EQ(carrier.RestoreDeviceSettings(road, carrier.BackupFilePath), 1);
    EXPECT_EQ(shell.Written[19], (std::vector<std::string>{"4", "4"}));
    EXPECT_FALSE(Logged("new data <- old data"));
}

}  // namespace
}  // namespace verup
