#include <gtest/gtest.h>

#include <string>

#include "image/ImageFiles.h"
#include "package/ImagePresence.h"
#include "support/TempDir.h"

using namespace verup;
using verup::test::TempDir;

namespace {

class ImageFilesTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(ImageFilesTest, LinesAreRebuiltWithCrLfWhateverTheFileUsed)
{
    LineTable table = LineTable::ForFpga();
    const auto r = LoadImageLines(dir.Write("fpga01.mot", "S1AA\n\n  S1BB \t\r\n\r\nS9CC"), table);
    ASSERT_EQ(r.Count, 3);
    EXPECT_TRUE(r.Reason.empty());
    EXPECT_EQ(table.Line(0), "S1AA\r\n");
    EXPECT_EQ(table.Line(1), "S1BB\r\n");
    EXPECT_EQ(table.Line(2), "S9CC\r\n");
    EXPECT_STREQ(table.CLine(1), "S1BB\r\n");
    EXPECT_EQ(table.SourceLine(1), 3u);
    EXPECT_EQ(table.AssembledText(), "S1AA\r\nS1BB\r\nS9CC\r\n");
}

TEST_F(ImageFilesTest, EndOfFileMarkEndsTheLinesAndAnUnreadableFileLeavesThem)
{
    LineTable table = LineTable::ForBoot();
    EXPECT_EQ(LoadImageLines(dir.Write("from00.mot", "S1AA\r\nS9CC\r\n\x1A"), table).Count, 2);
    EXPECT_EQ(LoadImageLines(dir.Write("from00.mot", "S1AA\r\nS9\x1A" "CC\r\nS1DD\r\n"), table).Count, 2);
    EXPECT_EQ(table.Line(1), "S9\r\n");
    const auto r = LoadImageLines(dir.File("fpga02.mot"), table);
    EXPECT_EQ(r.Count, LINES_UNREADABLE);
    EXPECT_FALSE(r.Reason.empty());
    EXPECT_EQ(table.Count(), 2u);
    EXPECT_EQ(table.Line(1), "S9\r\n");
}

TEST_F(ImageFilesTest, TableCapacitiesAreRefusedNotCut)
{
    LineTable table = LineTable::ForFpga();
    ASSERT_EQ(LoadImageLines(dir.Write("fpga01.mot", "S1AA\r\n"), table).Count, 1);

    std::string lines;
    for (int i = 0; i < 500; ++i)
        lines += "S1" + std::to_string(i) + "\r\n";
    EXPECT_EQ(LoadImageLines(dir.Write("full.mot", lines), table).Count, 500);
    const auto over = LoadImageLines(dir.Write("over.mot", lines + "S9\r\n"), table);
    EXPECT_EQ(over.Count, LINES_REFUSED);
    ASSERT_TRUE(over.Error);
    EXPECT_EQ(over.Error->line, 501u);
    EXPECT_NE(over.Reason.find("at most 500 lines"), std::string::npos);
    // The refused file changed nothing.
    EXPECT_EQ(table.Count(), 500u);

    const std::string word47(47, 'A');
    EXPECT_EQ(LoadImageLines(dir.Write("w47.mot", "S1\r\n" + word47 + "\r\n"), table).Count, 2);
    EXPECT_EQ(table.Line(1), word47 + "\r\n");
    const auto longer = LoadImageLines(dir.Write("w48.mot", "S1\r\n  " + word47 + "A\r\n"), table);
    EXPECT_EQ(longer.Count, LINES_REFUSED);
    ASSERT_TRUE(longer.Error);
    EXPECT_EQ(longer.Error->line, 2u);
    EXPECT_EQ(longer.Error->column, 3u);
    EXPECT_EQ(table.Count(), 2u);

    LineTable boot = LineTable::ForBoot();
    EXPECT_EQ(LoadImageLines(dir.Write("b67.mot", std::string(67, 'B')), boot).Count, 1);
    EXPECT_EQ(LoadImageLines(dir.Write("b68.mot", std::string(68, 'B')), boot).Count, LINES_REFUSED);
}

TEST_F(ImageFilesTest, PresenceRules)
{
    auto eval = [](std::uint32_t rt, std::uint32_t f1, std::uint32_t f2, std::uint32_t boot, std::uint32_t dat) {
        return EvaluateImagePresence({rt, f1, f2, 0, boot}, dat);
    };
    EXPECT_TRUE(eval(10, 0, 0, 0, 5).Accepted);
    EXPECT_TRUE(eval(0, 7, 9, 0, 5).Accepted);
    EXPECT_EQ(eval(0, 7, 9, 0, 5).ImageFileSizes[3], 9u);
    EXPECT_TRUE(eval(0, 0, 0, 3, 5).Accepted);
    EXPECT_TRUE(eval(1, 1, 1, 1, 1).WritesFpga());

    const auto nothing = eval(0, 0, 0, 0, 5);
    EXPECT_FALSE(nothing.Accepted);
    ASSERT_EQ(nothing.Refusals.size(), 1u);

    const auto one_fpga = eval(10, 0, 4, 0, 5);
    EXPECT_FALSE(one_fpga.Accepted);
    EXPECT_EQ(one_fpga.FpgaImageCount, 1);
    EXPECT_NE(one_fpga.Refusals.at(0).find("fpga02.mot"), std::string::npos);

    EXPECT_FALSE(eval(10, 0, 0, 0, 0).Accepted);

    // From the files themselves: a zero-length rt00.mot is missing.
    dir.Write("rt00.mot", "");
    dir.Write("verup.dat", "[MODE]\n");
    EXPECT_FALSE(CheckImagePresence(dir.Path(), dir.File("verup.dat")).Accepted);
    dir.Write("from00.mot", "S9030000FC\r\n");
    const auto boot_only = CheckImagePresence(dir.Path(), dir.File("verup.dat"));
    EXPECT_TRUE(boot_only.Accepted);
    EXPECT_FALSE(boot_only.WritesProgram());
    EXPECT_TRUE(boot_only.WritesBoot());
}

}  // namespace
