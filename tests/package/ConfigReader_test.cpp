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

// Addresses are hexadecimal with or without 0x, cut at the first other character and
// saturated as a 32-bit strtoul; versions read their leading number; a present but empty
// key is not a defaulted one.
TEST_F(ConfigReaderTest, ReadsEveryKindOfValueAndRecordsTheDefaultedKeys)
{
    const Config cfg = Read(
        "[AREA]\r\nFRAM_END_ADR=0X6FFFF\r\nCHECK_SUM_ADR= ffe\r\nSECT_END_ADR=FFFFzz\r\n"
        "FPGA_DATA_LEN=\r\nFPGA1_STR_ADR=123456789\r\nFPGA2_STR_ADR=-1\r\n"
        "[VERUP]\r\nNAME2=\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93\r\nTEL_VER=2.5abc\r\nREV_VER=3x\r\n"
        "NUM=Version 1.20 with a very long build description\r\nNUM_LEN=99\r\n");
    EXPECT_EQ(cfg.FRAM_END_ADR, 0x6FFFFu);
    EXPECT_EQ(cfg.CHECK_SUM_ADR, 0xFFEu);
    EXPECT_EQ(cfg.SECT_END_ADR, 0xFFFFu);
    EXPECT_EQ(cfg.FPGA_DATA_LEN, 0u);
    EXPECT_EQ(cfg.FPGA1_STR_ADR, 0xFFFFFFFFu);
    EXPECT_EQ(cfg.FPGA2_STR_ADR, 0xFFFFFFFFu);
    EXPECT_EQ(cfg.NAME2, "\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93");
    EXPECT_DOUBLE_EQ(cfg.TEL_VER, 2.5);
    EXPECT_EQ(cfg.REV_VER, 3);
    EXPECT_FALSE(Defaulted(cfg, "AREA.FPGA_DATA_LEN"));
    // NUM is kept to thirty characters and NUM_LEN capped at thirty.
    EXPECT_EQ(cfg.NUM, "Version 1.20 with a very long ");
    EXPECT_EQ(cfg.NUM_LEN, 30);
    EXPECT_EQ(Read("[VERUP]\nNUM_LEN=-4\n").NUM_LEN, 0);
}

// Parameters interleave as FP0n and FP1n (the images command's test), so with more than
// sixteen FP10 serves both FPGAs.
TEST_F(ConfigReaderTest, FpgaParametersInterleaveWrapToSignedBytesAndShareFP10)
{
    const Config three = Read("[VERUP]\nFP_LEN=3\nFP02=300\nFP03=9\n");
    EXPECT_EQ(three.FpgaParams1[2], 44);  // 300 truncated to a byte
    EXPECT_EQ(three.FpgaParams1[3], 0);   // beyond FP_LEN: not read
    std::string content = "[VERUP]\nFP_LEN=40\n";
    for (int i = 0; i <= 0x20; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "FP%02X=%d\n", i, i + 1);
        content += line;
    }
    const Config cfg = Read(content);
    EXPECT_EQ(cfg.FP_LEN, 17);
    EXPECT_EQ(cfg.FpgaParams1[16], 0x10 + 1);
    EXPECT_EQ(cfg.FpgaParams2[0], 0x10 + 1);
    EXPECT_EQ(cfg.FpgaParams2[16], 0x20 + 1);
}

}  // namespace
}  // namespace verup
