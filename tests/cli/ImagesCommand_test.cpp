#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "ImagesCommand.h"
#include "image/ImageBuilder.h"
#include "support/RandomBytes.h"
#include "support/TempDir.h"

using namespace verup;
using verup::cli::ImagesOptions;
using verup::cli::RunImagesCommand;
using verup::test::RandomBytes;
using verup::test::TempDir;

namespace {

const char* kVerupDat =
    "[MODE]\r\nRETRY=3\r\n"
    "[AREA]\r\nMAIN=4\r\nFPGA=6\r\nDATA=5\r\n"
    "PROG_RAM_STR_ADR=10000\r\nPROG_RAM_END_ADR=0x4FFFF\r\nFRAM_END_ADR=7FFFF\r\nCHECK_SUM_ADR=100\r\n"
    "SECT_END_ADR=FFFF\r\nFPGA_DATA_LEN=8000\r\nFPGA1_STR_ADR=0\r\nFPGA2_STR_ADR=8000\r\n"
    "[VERUP]\r\nNAME1=NEXAVO7300QB\r\nFP_LEN=2\r\nFP00=17\r\nFP10=-2\r\nFP01=5\r\nFP11=6\r\n";

// A writer written apart from the product's: S2 records, CR LF.
std::string IndependentSRecords(std::uint32_t base, const std::vector<std::uint8_t>& data, std::size_t per_record = 16)
{
    std::string text = "S0030000FC\r\n";
    char field[8];
    for (std::size_t off = 0; off < data.size(); off += per_record) {
        const std::size_t n = std::min<std::size_t>(per_record, data.size() - off);
        const std::uint32_t address = base + static_cast<std::uint32_t>(off);
        unsigned sum = static_cast<unsigned>(n + 4) + (address >> 16 & 0xFF) + (address >> 8 & 0xFF) + (address & 0xFF);
        std::snprintf(field, sizeof field, "%02X", static_cast<unsigned>(n + 4));
        text += std::string("S2") + field;
        std::snprintf(field, sizeof field, "%06X", address);
        text += field;
        for (std::size_t i = 0; i < n; ++i) {
            std::snprintf(field, sizeof field, "%02X", data[off + i]);
            text += field;
            sum += data[off + i];
        }
        std::snprintf(field, sizeof field, "%02X", ~sum & 0xFF);
        text += std::string(field) + "\r\n";
    }
    return text + "S804000000FB\r\n";
}

class ImagesCommandTest : public ::testing::Test {
protected:
    TempDir package;
    TempDir dump;

    int Run(std::string& report)
    {
        std::ostringstream out;
        ImagesOptions options{package.Path(), dump.Path()};
        const int code = RunImagesCommand(options, out);
        report = out.str();
        return code;
    }

    std::vector<std::uint8_t> Dumped(const char* name)
    {
        const std::string text = dump.Read(name);
        return std::vector<std::uint8_t>(text.begin(), text.end());
    }
};

TEST_F(ImagesCommandTest, DumpedImagesEqualTheOriginalBinaries)
{
    package.Write("verup.dat", kVerupDat);

    std::vector<std::uint8_t> program = RandomBytes(0x18000, 1);
    program[0x100] = program[0x101] = 0x00;
    std::fill(program.begin() + 0x2000, program.begin() + 0x3000, 0xFF);
    package.Write("rt00.mot", IndependentSRecords(0x10000, program, 40));

    // The line tables bound the files: 500 lines of FPGA data, 2000 of boot data.
    const std::vector<std::uint8_t> fpga1 = RandomBytes(0x1F00, 2);
    const std::vector<std::uint8_t> fpga2 = RandomBytes(0x1000, 3);
    // FPGA 2 given at 0x18000: only the low 16 bits place it.
    package.Write("fpga01.mot", IndependentSRecords(0x0000, fpga1));
    package.Write("fpga02.mot", IndependentSRecords(0x18000, fpga2));
    const std::vector<std::uint8_t> boot = RandomBytes(0x7000, 4);
    package.Write("from00.mot", IndependentSRecords(0x20000, boot));

    std::string report;
    ASSERT_EQ(Run(report), cli::IMAGES_OK) << report;
    EXPECT_NE(report.find("SectorCount 2"), std::string::npos) << report;

    const auto program_bin = Dumped("program.bin");
    ASSERT_EQ(program_bin.size(), 0x40000u);
    EXPECT_EQ(SumImageWords(program_bin, 0, program_bin.size() - 1), 0);
    for (std::size_t i = 0; i < program_bin.size(); ++i) {
        if (i == 0x100 || i == 0x101)
            continue;
        const std::uint8_t want = i < program.size() ? program[i] : 0xFF;
        ASSERT_EQ(program_bin[i], want) << "program offset " << i;
    }

    std::vector<std::uint8_t> fpga_want(0x10000, 0xFF);
    std::copy(fpga1.begin(), fpga1.end(), fpga_want.begin());
    std::copy(fpga2.begin(), fpga2.end(), fpga_want.begin() + 0x8000);
    fpga_want[0x7FF0] = 17;
    fpga_want[0x7FF1] = 5;
    fpga_want[0xFFF0] = 0xFE;
    fpga_want[0xFFF1] = 6;
    EXPECT_EQ(Dumped("fpga.bin"), fpga_want);

    std::vector<std::uint8_t> boot_want(0x10000, 0xFF);
    std::copy(boot.begin(), boot.end(), boot_want.begin());
    EXPECT_EQ(Dumped("boot.bin"), boot_want);
}

}  // namespace
