#include "package/ConfigReader.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/TempDir.h"

namespace verup {
namespace {

class ConfigReaderTest : public ::testing::Test {
protected:
    Config Read(const std::string& content)
    {
        ProfileFile file(dir.Write("verup.dat", content));
        Config cfg;
        ReadConfig(file, cfg);
        return cfg;
    }
    static bool Defaulted(const Config& cfg, const std::string& key)
    {
        return std::find(cfg.DefaultedKeys.begin(), cfg.DefaultedKeys.end(), key) != cfg.DefaultedKeys.end();
    }
    test::TempDir dir;
};

TEST_F(ConfigReaderTest, EmptyFileGivesEveryDefaultAndRecordsThem)
{
    const Config cfg = Read("");
    // 8 MODE + 11 AREA + 10 VERUP keys, no FP keys when FP_LEN is 0.
    EXPECT_EQ(cfg.DefaultedKeys.size(), 29u);
    EXPECT_TRUE(Defaulted(cfg, "MODE.DEBUG"));
    EXPECT_TRUE(Defaulted(cfg, "AREA.FPGA2_STR_ADR"));
    EXPECT_TRUE(Defaulted(cfg, "VERUP.FP_LEN"));
}

TEST_F(ConfigReaderTest, ReadsEveryKindOfValue)
{
    const Config cfg = Read(
        "[MODE]\r\nDEBUG=99\r\nSEL=7\r\nRETRY=3\r\nCRC=1\r\nAUTO=1\r\nSAVE=2\r\nLANBOOT=40\r\nUPLOAD=1\r\n"
        "[AREA]\r\nMAIN=6\r\nFPGA=7\r\nDATA=8\r\n"
        "PROG_RAM_STR_ADR=10000\r\nPROG_RAM_END_ADR=0x7FFFF\r\nFRAM_END_ADR=0X6FFFF\r\n"
        "CHECK_SUM_ADR= ffe\r\nSECT_END_ADR=FFFFzz\r\nFPGA_DATA_LEN=\r\nFPGA1_STR_ADR=123456789\r\n"
        "FPGA2_STR_ADR=-1\r\n"
        "[VERUP]\r\nNAME1=NEXAVO7300QB\r\nNAME2=\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93\r\n"
        "KIKI1=7300QB\r\nKIKI2=7300QC\r\nFRM_VER=1.05\r\nTEL_VER=2.5abc\r\n"
        "NUM_LEN=12\r\nNUM=Version 1.20 beta\r\nREV_VER=3x\r\n");
    EXPECT_EQ(cfg.SEL, 7);  // kept as read; anything but 0 and 1 means the combined dialog
    EXPECT_EQ(cfg.LANBOOT, 40);
    EXPECT_EQ(cfg.PROG_RAM_STR_ADR, 0x10000u);
    EXPECT_EQ(cfg.PROG_RAM_END_ADR, 0x7FFFFu);
    EXPECT_EQ(cfg.FRAM_END_ADR, 0x6FFFFu);
    EXPECT_EQ(cfg.CHECK_SUM_ADR, 0xFFEu);
    EXPECT_EQ(cfg.SECT_END_ADR, 0xFFFFu);
    EXPECT_EQ(cfg.FPGA_DATA_LEN, 0u);
    EXPECT_EQ(cfg.FPGA1_STR_ADR, 0xFFFFFFFFu);  // saturates as a 32-bit strtoul does
    EXPECT_EQ(cfg.FPGA2_STR_ADR, 0xFFFFFFFFu);
    EXPECT_EQ(cfg.ProgramAreaSize(), 0x6FFFFu);
    EXPECT_EQ(cfg.NAME2, "\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93");
    EXPECT_DOUBLE_EQ(cfg.FRM_VER, 1.05);
    EXPECT_DOUBLE_EQ(cfg.TEL_VER, 2.5);
    EXPECT_EQ(cfg.NUM_LEN, 12);
    EXPECT_EQ(cfg.NUM, "Version 1.20 beta");
    EXPECT_EQ(CutText(cfg.NUM, cfg.NUM_LEN), "Version 1.20");
    EXPECT_EQ(cfg.REV_VER, 3);
    EXPECT_TRUE(Defaulted(cfg, "VERUP.FP_LEN"));
    EXPECT_FALSE(Defaulted(cfg, "AREA.FPGA_DATA_LEN"));  // present, only empty
}

TEST_F(ConfigReaderTest, NumIsKeptToThirtyCharactersAndNumLenCappedAtThirty)
{
    const Config cfg = Read("[VERUP]\nNUM=Version 1.20 with a very long build description\nNUM_LEN=99\n");
    EXPECT_EQ(cfg.NUM, "Version 1.20 with a very long ");
    EXPECT_EQ(cfg.NUM.size(), 30u);
    EXPECT_EQ(cfg.NUM_LEN, 30);
    EXPECT_EQ(Read("[VERUP]\nNUM_LEN=-4\n").NUM_LEN, 0);
    EXPECT_EQ(CutText("Version 1.2", 12), "Version 1.2");
    EXPECT_EQ(CutText("Version 1.2", 0), "");
}

TEST_F(ConfigReaderTest, FpgaParametersInterleaveAndWrapToSignedBytes)
{
    const Config cfg = Read("[VERUP]\nFP_LEN=3\nFP00=1\nFP01=2\nFP02=300\nFP03=9\nFP10=-1\nFP11=-128\nFP12=127\n");
    EXPECT_EQ(cfg.FP_LEN, 3);
    EXPECT_EQ(cfg.FpgaParams1[0], 1);
    EXPECT_EQ(cfg.FpgaParams1[1], 2);
    EXPECT_EQ(cfg.FpgaParams1[2], 44);  // 300 truncated to a byte
    EXPECT_EQ(cfg.FpgaParams1[3], 0);   // beyond FP_LEN: not read
    EXPECT_EQ(cfg.FpgaParams2[0], -1);
    EXPECT_EQ(cfg.FpgaParams2[1], -128);
    EXPECT_EQ(cfg.FpgaParams2[2], 127);
}

TEST_F(ConfigReaderTest, SeventeenParametersShareKeyFP10AndMoreAreCapped)
{
    std::string content = "[VERUP]\nFP_LEN=40\n";
    for (int i = 0; i <= 0x20; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "FP%02X=%d\n", i, i + 1);
        content += line;
    }
    const Config cfg = Read(content);
    EXPECT_EQ(cfg.FP_LEN, 17);
    EXPECT_EQ(cfg.FpgaParams1[15], 0x0F + 1);
    EXPECT_EQ(cfg.FpgaParams1[16], 0x10 + 1);  // FP10
    EXPECT_EQ(cfg.FpgaParams2[0], 0x10 + 1);   // FP10 again
    EXPECT_EQ(cfg.FpgaParams2[16], 0x20 + 1);  // FP20
}

TEST_F(ConfigReaderTest, LayoutSectionsAreReadAndCapped)
{
    ProfileFile file(dir.Write("verup.dat",
                               "[N_SAVE]\nNUM=3\n1=10\n2=20\n[O_SAVE]\nNUM=200\n1=5000\n[C_DATA]\nNUM=-2\n"));
    const auto n_save = ReadSettingsLayout(file, "N_SAVE");
    EXPECT_EQ(n_save.BlockCount, 3);
    EXPECT_EQ(n_save.Items(1), 10);
    EXPECT_EQ(n_save.Items(2), 20);
    EXPECT_EQ(n_save.Items(3), 0);  // missing key
    EXPECT_EQ(n_save.Items(4), 0);
    EXPECT_FALSE(n_save.Capped);
    const auto o_save = ReadSettingsLayout(file, "O_SAVE");
    EXPECT_EQ(o_save.BlockCount, 128);
    EXPECT_EQ(o_save.Items(1), 1024);
    EXPECT_TRUE(o_save.Capped);
    EXPECT_EQ(ReadSettingsLayout(file, "C_DATA").BlockCount, 0);
    EXPECT_EQ(ReadSettingsLayout(file, "C_SAVE").BlockCount, 0);
}

}  // namespace
}  // namespace verup
