// The text formats around the settings transfer: getdata replies, the kept files and their
// notes, and the value rules of the conversion. The backup file's own format is checked by
// the transfer's tests, which write and read it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "settings/ConversionRules.h"
#include "settings/GetdataReply.h"
#include "settings/KeptBackups.h"
#include "support/TempDir.h"

namespace verup {
namespace {

std::string Record(std::vector<std::string> fields)
{
    std::string text;
    for (std::size_t i = 0; i < fields.size(); ++i)
        text += (i ? "\x01" : "") + fields[i];
    return text;
}

// Items are CR CR LF lines after the echo; empty items, field separators and long items are
// kept whole, and a reply that ends before the last item's line end is no complete one.
TEST(GetdataReply, ReadsItemsOfCrCrLfLines)
{
    const std::string long_item(300, 'z');
    const struct {
        std::string reply;
        int count;
        bool complete;
        std::vector<std::string> items;
    } cases[] = {
        {"getdata 3\r\r\nA\r\r\nB\r\r\n", 2, true, {"A", "B"}},
        {"getdata 1\r\r\n\r\r\nx\x01y\r\r\n", 2, true, {"", "x\x01y"}},
        {"", 0, true, {}},
        {"getdata 1\r\r\n" + long_item + "\r\r\n", 1, true, {long_item}},
        {"getdata 3\r\r\nA\r\r\n", 2, false, {"A"}},
        {"getdata 3\r\r\nA\r\r\nB", 2, false, {"A"}},
        {"no line end", 1, false, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> items{"stale"};
        EXPECT_EQ(ReadGetdataItems(c.reply, c.count, items), c.complete) << c.reply;
        EXPECT_EQ(items, c.items) << c.reply;
    }
}

// ---------------------------------------------------------------- kept files

TEST(KeptBackups, NamesCarryTheDeviceAndTheUtcTimeAndNeverRepeat)
{
    EXPECT_EQ(FileNameSafe("/dev/pts/3"), "dev-pts-3");
    EXPECT_EQ(FileNameSafe("../\x81\x40"), "unknown");
    EXPECT_EQ(CompactUtcTime(0), "19700101T000000Z");
    EXPECT_EQ(ReadableUtcTime(86399), "1970-01-01T23:59:59Z");

    test::TempDir dir;
    const std::string first = FreeKeptFilePath(dir.Path(), kSettingsBackupPrefix, "dev", 0, ".txt");
    EXPECT_EQ(first, dir.File("7300qb-settings-dev-19700101T000000Z.txt"));
    dir.Write("7300qb-settings-dev-19700101T000000Z.txt", "x");
    EXPECT_EQ(FreeKeptFilePath(dir.Path(), kSettingsBackupPrefix, "dev", 0, ".txt"),
              dir.File("7300qb-settings-dev-19700101T000000Z-2.txt"));
}

TEST(KeptBackups, NotesAreFoundAgainByMacAddressElseByLink)
{
    test::TempDir dir;
    BackupNote note;
    note.Kind = "settings";
    note.Device = "00-80-6d-73-00-10";
    note.Mac = "00-80-6d-73-00-10";
    note.Link = "COM1 /dev/pts/3";
    note.Time = "2026-04-01T09:30:15Z";
    note.Firmware = "Version 1.10";
    note.Layout = "N_SAVE";
    note.Items = 412;
    std::string error;
    const std::string with_mac = dir.Write("7300qb-settings-00-80-6d-73-00-10-20260401T093015Z.txt", "a");
    ASSERT_TRUE(WriteBackupNote(with_mac, note, error)) << error;
    note.Mac.clear();
    note.Time = "2026-04-02T00:00:00Z";
    const std::string by_link = dir.Write("7300qb-area31-dev-pts-3-20260402T000000Z.bin", "b");
    note.Kind = "area31";
    ASSERT_TRUE(WriteBackupNote(by_link, note, error)) << error;
    dir.Write("7300qb.tmp", "older version's backup");
    dir.Write("unrelated.txt", "");

    const std::vector<KeptBackup> all = ListKeptBackups(dir.Path());
    // Newest first: the file without a note counts from its modification time (now).
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].Path, dir.File("7300qb.tmp"));
    EXPECT_FALSE(all[0].HasNote);
    EXPECT_EQ(all[2].Path, with_mac);
    EXPECT_EQ(all[2].Note.Items, 412);

    // The MAC address decides where both sides have one; the link where the file has none.
    EXPECT_EQ(KeptBackupsOf(dir.Path(), "00-80-6d-73-00-10", "COM2 /dev/pts/9").size(), 1u);
    EXPECT_EQ(KeptBackupsOf(dir.Path(), "00-80-6d-73-00-10", "COM1 /dev/pts/3").size(), 2u);
    EXPECT_EQ(KeptBackupsOf(dir.Path(), "", "COM1 /dev/pts/3").size(), 2u);
    EXPECT_TRUE(KeptBackupsOf(dir.Path(), "00-80-6d-00-00-99", "COM2 /dev/pts/9").empty());

    EXPECT_TRUE(RemoveKeptBackup(with_mac));
    EXPECT_FALSE(std::filesystem::exists(with_mac + ".info"));
}

TEST(KeptBackups, TemporaryFilesOfDeadWritersGoAndLiveOnesAreReported)
{
    test::TempDir dir;
    const std::string dead = dir.Write(".verup-999999999-AbCdEf", "half a backup");
    const std::string live = dir.Write(".verup-" + std::to_string(::getppid()) + "-AbCdEf", "being written");
    const std::string anonymous = dir.Write(".verup-AbCdEf", "recent, writer unknown");
    const std::vector<std::string> lines = CleanLeftTemporaryFiles(dir.Path());
    EXPECT_FALSE(std::filesystem::exists(dead));
    EXPECT_TRUE(std::filesystem::exists(live));
    EXPECT_TRUE(std::filesystem::exists(anonymous));
    ASSERT_EQ(lines.size(), 3u);
    std::string all;
    for (const auto& line : lines)
        all += line + "\n";
    EXPECT_NE(all.find("deleted: " + dead), std::string::npos) << all;
    EXPECT_NE(all.find("left as it is"), std::string::npos) << all;
}

// 65535 in the 7th and 11th fields of a block 37 record becomes -1, and item 2 of block 19
// reading 4 becomes 5; nothing else changes, nor a record that cannot be rebuilt.
TEST(ConversionRules, OnlyBlock37RecordsAndBlock19Item2Change)
{
    const auto record = [](const char* seventh, const char* eleventh) {
        return Record({"1", "a", "b", "c", "d", "e", seventh, "f", "g", "h", eleventh});
    };
    const struct {
        int block, item;
        std::string in, out;
    } cases[] = {
        {37, 1, record("65535", "65535"), record("-1", "-1")},
        {37, 2, record("65535abc", "0"), record("-1", "0")},
        {37, 4, Record({"1", "2", "65535", "4", "5", "6", "7", "8", "9", "10", "11"}), ""},
        {36, 1, record("65535", "65535"), ""},
        {37, 1, Record({"1", "2", "3", "4", "5", "6", "65535", "8", "9", "10"}), ""},  // ten fields
        {37, 1, Record({"1", "", "3", "4", "5", "6", "65535", "8", "9", "10", "65535"}), ""},
        {37, 1, Record({"1", "my name", "3", "4", "5", "6", "65535", "8", "9", "10", "11"}), ""},
        {37, 1, Record({std::string(64, 'w'), "2", "3", "4", "5", "6", "65535", "8", "9", "10", "11"}), ""},
        {37, 1, Record({"1", "2", "3", "4", "5", "6", "65535", "8", "9", "10", "11", "12"}), ""},  // twelve
        {37, 1, "", ""},
        {19, 2, "4", "5"},
        {19, 2, " 4x", "5"},
        {19, 1, "4", ""},
        {19, 2, "3", ""},
        {18, 2, "4", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ApplyConversionRules(c.block, c.item, c.in), c.out.empty() ? c.in : c.out)
            << c.block << "." << c.item << " " << c.in;
}

}  // namespace
}  // namespace verup
