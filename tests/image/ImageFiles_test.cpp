#include <gtest/gtest.h>

#include <string>

#include "image/ImageFiles.h"
#include "support/TempDir.h"

using namespace verup;
using verup::test::TempDir;

namespace {

TEST(ImageFilesTest, LinesAreRebuiltWithCrLfWhateverTheFileUsed)
{
    TempDir dir;
    LineTable table = LineTable::ForFpga();
    const auto r = LoadImageLines(dir.Write("fpga01.mot", "S1AA\n\n  S1BB \t\r\n\r\nS9CC"), table);
    ASSERT_EQ(r.Count, 3);
    EXPECT_EQ(table.SourceLine(1), 3u);
    EXPECT_EQ(table.AssembledText(), "S1AA\r\nS1BB\r\nS9CC\r\n");
}

TEST(ImageFilesTest, EndOfFileMarkEndsTheLinesAndAnUnreadableFileLeavesThem)
{
    TempDir dir;
    LineTable table = LineTable::ForBoot();
    EXPECT_EQ(LoadImageLines(dir.Write("from00.mot", "S1AA\r\nS9CC\r\n\x1A"), table).Count, 2);
    EXPECT_EQ(LoadImageLines(dir.Write("from00.mot", "S1AA\r\nS9\x1A" "CC\r\nS1DD\r\n"), table).Count, 2);
    EXPECT_EQ(table.Line(1), "S9\r\n");
    EXPECT_EQ(LoadImageLines(dir.File("fpga02.mot"), table).Count, LINES_UNREADABLE);
    EXPECT_EQ(table.Count(), 2u);
}

TEST(ImageFilesTest, TableCapacitiesAreRefusedNotCut)
{
    TempDir dir;
    LineTable table = LineTable::ForFpga();
    std::string lines;
    for (int i = 0; i < 500; ++i)
        lines += "S1" + std::to_string(i) + "\r\n";
    EXPECT_EQ(LoadImageLines(dir.Write("full.mot", lines), table).Count, 500);
    const auto over = LoadImageLines(dir.Write("over.mot", lines + "S9\r\n"), table);
    EXPECT_EQ(over.Count, LINES_REFUSED);
    ASSERT_TRUE(over.Error);
    EXPECT_EQ(over.Error->line, 501u);
    // The refused file changed nothing.
    EXPECT_EQ(table.Count(), 500u);

    const std::string word47(47, 'A');
    EXPECT_EQ(LoadImageLines(dir.Write("w47.mot", "S1\r\n" + word47 + "\r\n"), table).Count, 2);
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

}  // namespace
