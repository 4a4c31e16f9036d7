#include "ConfigCommand.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/Cp932.h"
#include "support/TempDir.h"

namespace verup {
namespace {

class ConfigCommandTest : public ::testing::Test {
protected:
    // verup.dat is written the way the package ships it: CP932 bytes, CR LF lines.
    void WriteConfig(const std::string& utf8)
    {
        std::string crlf;
        for (char c : utf8) {
            if (c == '\n')
                crlf += '\r';
            crlf += c;
        }
        dir_.Write("verup.dat", Utf8ToCp932(crlf));
    }
    int Run()
    {
        cli::ConfigOptions options;
        options.PackageDirectory = dir_.Path();
        std::ostringstream out;
        const int code = cli::RunConfigCommand(options, out);
        output_ = out.str();
        return code;
    }
    bool Shows(const std::string& text) const { return output_.find(text) != std::string::npos; }

    test::TempDir dir_;
    std::string output_;
};

constexpr char kConfig[] =
    "[MODE]\nSEL=7\nSAVE=2\nUPLOAD=1\n"
    "[AREA]\nPROG_RAM_STR_ADR=10000\nPROG_RAM_END_ADR=0x1FFFF\nMAIN=1\nSECT_END_ADR=FFFF\n"
    "[VERUP]\nNAME1=NEXAVO7300QB\nNAME2=バージョンアップ・プログラム\nKIKI1=NEXAVO7300QB\n"
    "NUM_LEN=12\nNUM=Version 1.20 beta\nFP_LEN=1\nFP00=-2\n"
    "[N_SAVE]\nNUM=2\n1=10\n2=12\n"
    "[O_SAVE]\nNUM=1\n1=9\n"
    "[C_DATA]\nNUM=3\n1=9\n2=4\n3=4\n";

TEST_F(ConfigCommandTest, PrintsValuesDefaultsAndTitlesInUtf8)
{
    WriteConfig(kConfig);
    dir_.Write("rt00.mot", "S9030000FC\r\n");
    EXPECT_EQ(Run(), cli::CONFIG_OK);
    EXPECT_TRUE(Shows("SEL              = 7  (serial or LAN)")) << output_;
    EXPECT_TRUE(Shows("RETRY            = 0  (default: key absent)")) << output_;
    EXPECT_TRUE(Shows("PROG_RAM_STR_ADR = 0x00010000\n")) << output_;
    EXPECT_TRUE(Shows("FP00             = -2")) << output_;
    EXPECT_TRUE(Shows("FP10             = 0  (default: key absent)")) << output_;
    EXPECT_TRUE(Shows("\"NEXAVO7300QB　バージョンアップ・プログラム\"")) << output_;
    EXPECT_TRUE(Shows("\"NEXAVO7300QB　バージョンアップ・プログラム　Ver 1.01\"")) << output_;
    EXPECT_TRUE(Shows("new version text:   \"Version 1.20\"")) << output_;
    EXPECT_TRUE(Shows("program area size:  0x0000FFFF")) << output_;
    EXPECT_TRUE(Shows("  accepted\n")) << output_;
}

TEST_F(ConfigCommandTest, SaysWhyAPackageIsRefused)
{
    WriteConfig(kConfig);
    dir_.Write("fpga02.mot", "S9030000FC\r\n");
    EXPECT_EQ(Run(), cli::CONFIG_PACKAGE_REFUSED);
    EXPECT_TRUE(Shows("REFUSED, the start-up would show \"バージョンアップに必要なファイルが見つかりません。\"")) << output_;
    EXPECT_TRUE(Shows("fpga02.mot")) << output_;

    dir_.Write("verup.dat", "");
    dir_.Write("rt00.mot", "S9030000FC\r\n");
    dir_.Write("fpga01.mot", "S9030000FC\r\n");
    EXPECT_EQ(Run(), cli::CONFIG_PACKAGE_REFUSED);
    EXPECT_TRUE(Shows("verup.dat is missing or empty")) << output_;

    // 10 MB of short lines is no configuration file: refused with the limit, read as absent.
    std::string huge = "[MODE]\nSEL=1\n";
    while (huge.size() < 10'000'000)
        huge += "A=1\n";
    dir_.Write("verup.dat", huge);
    EXPECT_EQ(Run(), cli::CONFIG_PACKAGE_REFUSED);
    EXPECT_TRUE(Shows("verup.dat is " + std::to_string(huge.size()) + " bytes, more than the 1048576 bytes (1 MiB)"))
        << output_;
    EXPECT_TRUE(Shows("SEL              = 0  (default: key absent)")) << output_;
}

// A package that cannot identify the device or check the version it writes.
TEST_F(ConfigCommandTest, SaysWhyTheProductOrVersionCannotBeChecked)
{
    dir_.Write("rt00.mot", "S9030000FC\r\n");
    const struct {
        const char* from;
        const char* to;
        const char* reason;
    } cases[] = {
        {"KIKI1=NEXAVO7300QB\n", "", "KIKI1 is empty or absent"},
        {"NUM_LEN=12\n", "", "NUM_LEN is 0 or absent"},
        {"NUM=Version 1.20 beta\n", "NUM=\n", "not \"Version \" and a number"},
        {"NUM=Version 1.20 beta\n", "NUM=Version 1.2\n", "fewer than NUM_LEN (12)"},
    };
    for (const auto& c : cases) {
        std::string config = kConfig;
        config.replace(config.find(c.from), std::string(c.from).size(), c.to);
        WriteConfig(config);
        EXPECT_EQ(Run(), cli::CONFIG_PACKAGE_REFUSED) << c.reason;
        EXPECT_TRUE(Shows("REFUSED, the start-up would show \"verup.dat ")) << output_;
        EXPECT_TRUE(Shows(c.reason)) << output_;
        EXPECT_FALSE(Shows("  accepted\n")) << output_;
    }
}

// 32 KiB download pieces for a program area that MAIN splits into 64 KiB areas.
TEST_F(ConfigCommandTest, FlashLayoutThatCannotHoldTheProgramIsRefused)
{
    std::string config = kConfig;
    config.replace(config.find("[MODE]\n"), 7, "[MODE]\nUPLOAD=1\n");
    config.replace(config.find("[AREA]\n"), 7, "[AREA]\nMAIN=1\nSECT_END_ADR=FFFF\n");
    WriteConfig(config);
    dir_.Write("rt00.mot", "S9030000FC\r\n");
    EXPECT_EQ(Run(), cli::CONFIG_OK) << output_;
    EXPECT_TRUE(Shows("flash layout: rt00.mot goes into areas 1 ... 1 in sectors of 0x00010000 bytes")) << output_;

    config.replace(config.find("SECT_END_ADR=FFFF"), 17, "SECT_END_ADR=7FFF");
    WriteConfig(config);
    EXPECT_EQ(Run(), cli::CONFIG_PACKAGE_REFUSED);
    EXPECT_TRUE(Shows("flash layout REFUSED, the update would write nothing: the program area of 0x10000 bytes")) << output_;
    EXPECT_TRUE(Shows("takes 2 sectors of 0x8000 bytes (SECT_END_ADR + 1), but MAIN 1")) << output_;
}

}  // namespace
}  // namespace verup
