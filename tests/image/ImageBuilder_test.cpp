#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "image/ImageBuilder.h"
#include "image/ImageFiles.h"
#include "image/SRecordWriter.h"
#include "support/ImageTestConfig.h"
#include "support/TempDir.h"

using namespace verup;
using verup::test::DataRecord;
using verup::test::kTermination;
using verup::test::TempDir;

namespace {

class ImageBuilderTest : public ::testing::Test {
protected:
    TempDir dir;
    Config cfg = test::ImageTestConfig();
    std::vector<std::uint8_t> image;

    // The checksum slot (0x100 from the start) written as zeros, as the program files do.
    static std::string ChecksumSlot() { return DataRecord(0x10100, {0x00, 0x00}); }

    ProgramBuildResult BuildProgram(const std::string& text)
    {
        dir.Write("rt00.mot", text);
        return BuildProgramImage(cfg, dir.Path(), GetImageFileSize(dir.File("rt00.mot")), image);
    }
};

TEST_F(ImageBuilderTest, SectorCountReachesTheLastDataByte)
{
    // The sectors a straddling record reaches in whole areas are the end-to-end tests' part;
    // counted in the smaller pieces the download cuts, its tail still needs the next one.
    auto r = BuildProgram(ChecksumSlot() + DataRecord(0x4FFF0, {1, 2, 3, 4}) + DataRecord(0x10000, {9}) + kTermination);
    EXPECT_EQ(r.SectorCount, 4);
    cfg.SECT_END_ADR = 0x7FFF;
    r = BuildProgram(ChecksumSlot() + DataRecord(0x27FF8, std::vector<std::uint8_t>(9, 0x5A)) + kTermination);
    ASSERT_TRUE(r.Ok()) << r.Reason;
    EXPECT_EQ(r.SectorCount, 4);
    EXPECT_EQ(ProgramImageSector(image, 4, cfg)[0], 0x5A);
}

TEST_F(ImageBuilderTest, ProgramThatCannotBeBuiltGivesZeroSectorsAndItsReason)
{
    auto r = BuildProgram(DataRecord(0x10000, {1}) + kTermination);
    EXPECT_EQ(r.SectorCount, 0);
    EXPECT_NE(r.Reason.find("checksum slot"), std::string::npos);
    EXPECT_NE(r.Reason.find("0xFFFF"), std::string::npos);
    EXPECT_EQ(BuildProgram(DataRecord(0x10100, {0x00, 0x01}) + kTermination).SectorCount, 0);

    r = BuildProgram(ChecksumSlot() + DataRecord(0x50000, {1}) + kTermination);
    EXPECT_EQ(r.SectorCount, 0);
    ASSERT_TRUE(r.Conversion.Error);
    EXPECT_EQ(r.Conversion.Error->line, 2u);
    EXPECT_NE(r.Reason.find("rt00.mot line 2"), std::string::npos);

    // Only the size read at start-up is read.
    const std::string text = ChecksumSlot() + DataRecord(0x10000, {1}) + kTermination;
    dir.Write("rt00.mot", text);
    EXPECT_TRUE(BuildProgramImage(cfg, dir.Path(), static_cast<std::uint32_t>(text.size()), image).Ok());
    EXPECT_FALSE(BuildProgramImage(cfg, dir.Path(), static_cast<std::uint32_t>(text.size() - 2), image).Ok());

    // A missing file leaves the image as it was.
    image.assign(4, 0x42);
    r = BuildProgramImage(cfg, TempDir().Path(), 100, image);
    EXPECT_EQ(r.SectorCount, 0);
    EXPECT_FALSE(r.Opened);
    EXPECT_EQ(image, std::vector<std::uint8_t>(4, 0x42));
}

TEST_F(ImageBuilderTest, UnsoundLayoutsAreRefused)
{
    dir.Write("rt00.mot", ChecksumSlot() + DataRecord(0x10000, {1}) + kTermination);
    const std::function<void(Config&)> edits[] = {
        [](Config& c) { c.PROG_RAM_END_ADR = 0x4FFFE; }, [](Config& c) { c.CHECK_SUM_ADR = 0x101; },
        [](Config& c) { c.CHECK_SUM_ADR = 0x3FFFF; },    [](Config& c) { c.PROG_RAM_END_ADR = 0x2FFFFFF; }};
    for (const auto& edit : edits) {
        Config odd = cfg;
        edit(odd);
        EXPECT_FALSE(BuildProgramImage(odd, dir.Path(), 1000, image).Ok());
    }
    Config huge = cfg;
    huge.PROG_RAM_END_ADR = 0x2FFFFFF;
    EXPECT_NE(BuildProgramImage(huge, dir.Path(), 1000, image).Reason.find("larger than"), std::string::npos);
}

TEST_F(ImageBuilderTest, LfOnlyAndBlankLinesFailForTheProgramButNotForTheBoot)
{
    std::string lf = ChecksumSlot() + DataRecord(0x10000, {0x11, 0x22}) + kTermination;
    lf.erase(std::remove(lf.begin(), lf.end(), '\r'), lf.end());
    EXPECT_EQ(BuildProgram(lf).SectorCount, 0);
    const std::string blank = ChecksumSlot() + "\r\n" + DataRecord(0x10000, {0x11, 0x22}) + kTermination;
    EXPECT_EQ(BuildProgram(blank).SectorCount, 0);

    cfg.SECT_END_ADR = 0xFFFF;
    LineTable boot = LineTable::ForBoot();
    for (const std::string& text : {lf, blank}) {
        dir.Write("from00.mot", text);
        const auto r = BuildBootImage(cfg, dir.Path(), boot, image);
        ASSERT_TRUE(r.FullyConverted()) << r.Reason;
        ASSERT_EQ(image.size(), 0x10000u);
        EXPECT_EQ(image[0x0000], 0x11);
        EXPECT_EQ(image[0x0001], 0x22);
        EXPECT_EQ(image[0x0100], 0x00);
        EXPECT_EQ(image[0x0002], 0xFF);
    }
}

TEST_F(ImageBuilderTest, BootConversionFailureIsReportedButNotAFailure)
{
    LineTable boot = LineTable::ForBoot();
    dir.Write("from00.mot", DataRecord(0x0010, {0xAB}) + "S1 broken\r\n" + kTermination);
    const auto r = BuildBootImage(cfg, dir.Path(), boot, image);
    EXPECT_TRUE(r.Ok);
    EXPECT_FALSE(r.FullyConverted());
    EXPECT_NE(r.Reason.find("from00.mot line 2"), std::string::npos);
    EXPECT_EQ(image[0x10], 0xAB);

    const auto missing = BuildBootImage(cfg, TempDir().Path(), boot, image);
    EXPECT_FALSE(missing.Ok);
}

TEST_F(ImageBuilderTest, SectorDataPastTheSectorFails)
{
    cfg.SECT_END_ADR = 0x7FFF;
    LineTable boot = LineTable::ForBoot();
    dir.Write("from00.mot", DataRecord(0x7FFE, {1, 2, 3}) + kTermination);
    const auto r = BuildBootImage(cfg, dir.Path(), boot, image);
    EXPECT_FALSE(r.FullyConverted());
    EXPECT_EQ(image.size(), 0x8000u);
    EXPECT_EQ(image[0x7FFF], 2);
}

class FpgaImageTest : public ImageBuilderTest {
protected:
    LineTable fpga1 = LineTable::ForFpga();
    LineTable fpga2 = LineTable::ForFpga();
};

TEST_F(FpgaImageTest, SecondFileOverwritesFirstThenParameterBytes)
{
    cfg.FP_LEN = 3;
    cfg.FpgaParams1 = {1, 2, 3};
    cfg.FpgaParams2 = {-1, -2, -3};
    // fpga01 has more lines than fpga02 and is converted completely.
    std::string first;
    for (int i = 0; i < 20; ++i)
        first += DataRecord(0x1000 + i * 4, {0x10, 0x10, 0x10, 0x10});
    first += DataRecord(0x7FF0, std::vector<std::uint8_t>(16, 0x77));
    dir.Write("fpga01.mot", first + kTermination);
    dir.Write("fpga02.mot", DataRecord(0x11000, {0x20, 0x20}) + DataRecord(0x8000, {0x88}) + kTermination);

    const auto r = BuildFpgaImage(cfg, dir.Path(), fpga1, fpga2, image);
    ASSERT_TRUE(r.FullyConverted()) << r.Reason;
    EXPECT_EQ(fpga1.Count(), 22u);
    EXPECT_EQ(fpga2.Count(), 3u);
    ASSERT_EQ(image.size(), 0x10000u);
    auto bytes = [&](std::size_t at, std::size_t n) { return std::vector<std::uint8_t>(image.begin() + at, image.begin() + at + n); };
    EXPECT_EQ(bytes(0x1000, 3), (std::vector<std::uint8_t>{0x20, 0x20, 0x10}));
    EXPECT_EQ(image[0x104F], 0x10);
    EXPECT_EQ(image[0x8000], 0x88);
    // Each FPGA's last 16 bytes: the parameters over the file's data, the rest left as it was.
    EXPECT_EQ(bytes(0x7FF0, 4), (std::vector<std::uint8_t>{1, 2, 3, 0x77}));
    EXPECT_EQ(bytes(0xFFF0, 4), (std::vector<std::uint8_t>{0xFF, 0xFE, 0xFD, 0xFF}));
}

TEST_F(FpgaImageTest, OverfullTableRefusesTheImage)
{
    std::string many;
    for (int i = 0; i < 501; ++i)
        many += DataRecord(static_cast<std::uint32_t>(i), {1});
    dir.Write("fpga01.mot", many + kTermination);
    dir.Write("fpga02.mot", kTermination);
    const auto r = BuildFpgaImage(cfg, dir.Path(), fpga1, fpga2, image);
    EXPECT_FALSE(r.Ok);
    EXPECT_NE(r.Reason.find("500"), std::string::npos);
}

TEST_F(FpgaImageTest, ParameterBytesOutsideTheSectorAreRefused)
{
    dir.Write("fpga01.mot", kTermination);
    dir.Write("fpga02.mot", kTermination);
    cfg.FP_LEN = 17;
    cfg.FPGA2_STR_ADR = 0x8000;
    cfg.FPGA_DATA_LEN = 0x8000;  // the 17th byte of FPGA 2 would be at 0x10000
    EXPECT_FALSE(BuildFpgaImage(cfg, dir.Path(), fpga1, fpga2, image).Ok);
    cfg.FP_LEN = 16;
    EXPECT_TRUE(BuildFpgaImage(cfg, dir.Path(), fpga1, fpga2, image).Ok);
    cfg.FPGA_DATA_LEN = 4;
    cfg.FPGA1_STR_ADR = 0;
    EXPECT_FALSE(BuildFpgaImage(cfg, dir.Path(), fpga1, fpga2, image).Ok);
}

TEST(ProgramImageSectorTest, PiecesAndWordSumsStayInsideTheImage)
{
    Config cfg = test::ImageTestConfig();
    std::vector<std::uint8_t> image(0x18000, 0);
    EXPECT_EQ(ProgramImageSector(image, 1, cfg).size(), 0x10000u);
    EXPECT_EQ(ProgramImageSector(image, 2, cfg).size(), 0x8000u);
    EXPECT_EQ(ProgramImageSector(image, 3, cfg).size(), 0u);
    EXPECT_EQ(ProgramImageSector(image, 0, cfg).size(), 0u);

    const std::vector<std::uint8_t> bytes = {0x01, 0x02, 0x03, 0x04, 0x05};
    EXPECT_EQ(SumImageWords(bytes, 0, 3), 0x0201 + 0x0403);
    EXPECT_EQ(SumImageWords(bytes, 1, 2), 0x0302);
    // The last word's high byte lies past the buffer: erased flash, never a read past the end.
    EXPECT_EQ(SumImageWords(bytes, 0, 4), static_cast<std::uint16_t>(0x0201 + 0x0403 + 0xFF05));
}

}  // namespace
