#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "image/ImageBuilder.h"
#include "image/ImageFiles.h"
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
    LineTable boot = LineTable::ForBoot();

    // The checksum slot (0x100 from the start) written as zeros, as the program files do.
    static std::string ChecksumSlot() { return DataRecord(0x10100, {0x00, 0x00}); }

    ProgramBuildResult BuildProgram(const std::string& text)
    {
        dir.Write("rt00.mot", text);
        return BuildProgramImage(cfg, dir.Path(), GetImageFileSize(dir.File("rt00.mot")), image);
    }
    SectorBuildResult BuildBoot(const std::string& text)
    {
        dir.Write("from00.mot", text);
        return BuildBootImage(cfg, dir.Path(), boot, image);
    }
};

TEST_F(ImageBuilderTest, ProgramWithoutAZeroChecksumSlotOrSoundLayoutIsRefused)
{
    EXPECT_FALSE(BuildProgram(DataRecord(0x10000, {1}) + kTermination).Ok());
    EXPECT_FALSE(BuildProgram(DataRecord(0x10100, {0x00, 0x01}) + kTermination).Ok());
    const std::function<void(Config&)> edits[] = {
        [](Config& c) { c.PROG_RAM_END_ADR = 0x4FFFE; }, [](Config& c) { c.CHECK_SUM_ADR = 0x101; },
        [](Config& c) { c.CHECK_SUM_ADR = 0x3FFFF; },    [](Config& c) { c.PROG_RAM_END_ADR = 0x2FFFFFF; }};
    dir.Write("rt00.mot", ChecksumSlot() + DataRecord(0x10000, {1}) + kTermination);
    for (const auto& edit : edits) {
        Config odd = cfg;
        edit(odd);
        EXPECT_FALSE(BuildProgramImage(odd, dir.Path(), 1000, image).Ok());
    }
}

TEST_F(ImageBuilderTest, OnlyTheSizeReadAtStartupIsReadAndAMissingFileLeavesTheImage)
{
    const std::string text = ChecksumSlot() + DataRecord(0x10000, {1}) + kTermination;
    dir.Write("rt00.mot", text);
    EXPECT_TRUE(BuildProgramImage(cfg, dir.Path(), static_cast<std::uint32_t>(text.size()), image).Ok());
    EXPECT_FALSE(BuildProgramImage(cfg, dir.Path(), static_cast<std::uint32_t>(text.size() - 2), image).Ok());

    image.assign(4, 0x42);
    const auto r = BuildProgramImage(cfg, TempDir().Path(), 100, image);
    EXPECT_FALSE(r.Ok() || r.Opened);
    EXPECT_EQ(image, std::vector<std::uint8_t>(4, 0x42));
}

// A damaged boot file is refused by the pre-flight on both roads (the command line's tests);
// the image keeps what converted, up to the sector's end.
TEST_F(ImageBuilderTest, BootDataPastTheSectorIsCutThere)
{
    EXPECT_FALSE(BuildBootImage(cfg, TempDir().Path(), boot, image).Ok);
    cfg.SECT_END_ADR = 0x7FFF;
    const auto r = BuildBoot(DataRecord(0x7FFE, {1, 2, 3}) + kTermination);
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
    ASSERT_EQ(image.size(), 0x10000u);
    auto bytes = [&](std::size_t at, std::size_t n) { return std::vector<std::uint8_t>(image.begin() + at, image.begin() + at + n); };
    EXPECT_EQ(bytes(0x1000, 3), (std::vector<std::uint8_t>{0x20, 0x20, 0x10}));
    EXPECT_EQ(image[0x104F], 0x10);
    EXPECT_EQ(image[0x8000], 0x88);
    // Each FPGA's last 16 bytes: the parameters over the file's data, the rest left as it was.
    EXPECT_EQ(bytes(0x7FF0, 4), (std::vector<std::uint8_t>{1, 2, 3, 0x77}));
    EXPECT_EQ(bytes(0xFFF0, 4), (std::vector<std::uint8_t>{0xFF, 0xFE, 0xFD, 0xFF}));
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
    EXPECT_EQ(ProgramImageSector(image, 2, cfg).size(), 0x8000u);
    EXPECT_EQ(ProgramImageSector(image, 3, cfg).size(), 0u);

    const std::vector<std::uint8_t> bytes = {0x01, 0x02, 0x03, 0x04, 0x05};
    EXPECT_EQ(SumImageWords(bytes, 1, 2), 0x0302);
    // The last word's high byte lies past the buffer: erased flash, never a read past the end.
    EXPECT_EQ(SumImageWords(bytes, 0, 4), static_cast<std::uint16_t>(0x0201 + 0x0403 + 0xFF05));
}

}  // namespace
