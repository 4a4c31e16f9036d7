#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "image/SRecordConverter.h"
#include "image/SRecordWriter.h"
#include "support/ImageTestConfig.h"

using namespace verup;
using verup::test::DataRecord;
using verup::test::kTermination;

namespace {

class SRecordConversion : public ::testing::Test {
protected:
    Config cfg = test::ImageTestConfig();
    std::vector<std::uint8_t> program = std::vector<std::uint8_t>(0x40000, 0xFF);
    std::vector<std::uint8_t> sector = std::vector<std::uint8_t>(0x10000, 0xFF);

    ConversionResult Program(const std::string& text) { return ConvertSRecordText(text, program, Placement::Program, cfg); }
    ConversionResult Sector(const std::string& text) { return ConvertSRecordText(text, sector, Placement::Sector, cfg); }
};

// S2 and S3 records and the sector placement by the low 16 bits are `verup images`' tests
// (against objcopy). Header and count records, anything without data after the termination
// record, and 0xFE bytes anywhere are skipped unexamined.
TEST_F(SRecordConversion, WhatCarriesNoDataIsSkipped)
{
    const std::string first = DataRecord(0x10000, {1}) + kTermination;
    for (const std::string& text :
         {first + "\r\n \t\nS5030001FB\r\nS9030000FC\r\n", first + "\x1A" "S3 junk",
          SRecordWriter::Record('0', 0, 2, std::vector<std::uint8_t>{'h'}) + "S5030002FA\r\nS6 anything\r\n" + first})
        EXPECT_TRUE(Program(text).Terminated) << text;
    EXPECT_TRUE(Sector(DataRecord(0x1234, {1}, 2) + "S7 not hex at all\r").Terminated);
    EXPECT_EQ(sector[0x1234], 1);

    std::string record = DataRecord(0x10000, {0x12, 0x34});
    record.insert(7, "\xFE");       // inside the address
    record.insert(14, "\xFE\xFE");  // inside the data
    EXPECT_TRUE(Program("\xFE" + record + "\xFE" + kTermination).Terminated);
    EXPECT_EQ(program[1], 0x34);
}

// What the file's maker wrote is meant whole: a text that holds more than what converts,
// or anything malformed, is refused with its place, never cut short.
struct Refusal {
    const char* name;
    std::string text;
    std::size_t line = 0, column = 0;  // 0: not checked
    const char* expected = "";         // a part of the expectation
    const char* found = "";            // the whole finding
};

std::string Corrupt(std::string record, std::size_t at, char c)
{
    record[at] = c;
    return record;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return c == 'S' ? c : std::tolower(c); });
    return text;
}

std::string WithoutCr(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

const std::string kOne = DataRecord(0x10000, {1});
const std::string kDone = kOne + kTermination;

const Refusal kRefusals[] = {
    {"BelowTheProgramArea", DataRecord(0x1234, {1}, 2) + kTermination, 1, 5, "", "0x1234"},
    {"DataAfterTheTermination", kDone + "S0030000FC\r\n" + DataRecord(0x10010, {2}), 4, 1,
     "no data record after the termination record", "an S3 record"},
    {"UnknownTypeAfterTheTermination", kDone + "S4030000FC\r\n"},
    {"EndOfFileMark", kOne + "\x1A" + kTermination, 2, 0, "", "0x1A"},
    {"EndOfFileMarkInASkippedLine", "S0 header \x1A\r\n" + kTermination},
    {"NoTermination", kOne, 0, 0, "", "end of text"},
    {"TerminationWithoutCr", kOne + "S9030000FC"},
    // An empty line is a CR at a line start.
    {"BlankLine", kOne + "\r\n" + kTermination, 2, 1, "", "0x0D"},
    // LF-only ends: the first record's "skip to CR" swallows everything after it.
    {"LfOnly", WithoutCr(kOne + DataRecord(0x10001, {2}) + kTermination)},
    {"LowerCaseHex", Lower(DataRecord(0x10000, {0xAB})) + kTermination, 0, 0, "hex digit"},
    {"NotAHexDigit", Corrupt(DataRecord(0x10000, {0xAB}), 13, 'G') + kTermination, 0, 14, "", "'G'"},
    {"RecordSum", Corrupt(DataRecord(0x10000, {0x01, 0x02}), 13, '3') + kTermination, 0, 17, "record checksum"},
    // S3 count 05: four address bytes and the checksum, no data; a count below the address.
    {"NoData", "S30500010000F9\r\n" + kTermination},
    {"CountBelowTheAddress", "S1020000FD\r\n" + kTermination},
    {"RunningPastTheProgramArea", DataRecord(0x4FFFE, {1, 2, 3}) + kTermination, 0, 0, "program area"},
};

class SRecordRefusal : public SRecordConversion, public ::testing::WithParamInterface<Refusal> {};

TEST_P(SRecordRefusal, NamesItsPlace)
{
    const Refusal& r = GetParam();
    const auto result = Program(r.text);
    EXPECT_FALSE(result.Terminated);
    ASSERT_TRUE(result.Error);
    EXPECT_EQ(r.line != 0 ? result.Error->line : 0, r.line);
    EXPECT_EQ(r.column != 0 ? result.Error->column : 0, r.column);
    EXPECT_NE(result.Error->expected.find(r.expected), std::string::npos) << result.Error->expected;
    EXPECT_EQ(*r.found != '\0' ? result.Error->found : "", r.found);
}

INSTANTIATE_TEST_SUITE_P(Texts, SRecordRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SRecordConversion, WhatConvertedBeforeARefusalIsStillShown)
{
    EXPECT_FALSE(Program(kDone + DataRecord(0x10010, {2})));
    EXPECT_EQ(program[0], 1);
    EXPECT_TRUE(Program(DataRecord(0x4FFFF, {1}) + kTermination));
}

TEST_F(SRecordConversion, DataPastFramEndFails)
{
    cfg.FRAM_END_ADR = 0x0F;
    EXPECT_TRUE(Sector(DataRecord(0x08, std::vector<std::uint8_t>(8, 0x11)) + kTermination));
    const auto r = Sector(DataRecord(0x08, std::vector<std::uint8_t>(9, 0x22)) + kTermination);
    EXPECT_FALSE(r.Terminated);
    // Bytes before the limit were written, the one past it not.
    EXPECT_EQ(sector[0x0F], 0x22);
    EXPECT_EQ(sector[0x10], 0xFF);
}

TEST_F(SRecordConversion, NeverWritesPastTheImage)
{
    std::vector<std::uint8_t> guarded(0x20, 0xEE);
    std::span<std::uint8_t> image(guarded.data() + 8, 16);
    std::fill(image.begin(), image.end(), 0xFF);
    const auto r = ConvertSRecordText(DataRecord(0x0C, std::vector<std::uint8_t>(8, 0x55)) + kTermination, image,
                                      Placement::Sector, cfg);
    EXPECT_FALSE(r.Terminated);
    EXPECT_EQ(r.BytesWritten, 4u);
    EXPECT_TRUE(std::all_of(guarded.begin(), guarded.begin() + 8, [](auto b) { return b == 0xEE; }));
    EXPECT_TRUE(std::all_of(guarded.begin() + 24, guarded.end(), [](auto b) { return b == 0xEE; }));
}

}  // namespace
