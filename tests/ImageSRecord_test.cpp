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

TEST_F(SRecordConversion, ReadsTheTextbookRecord)
{
    const auto r = Sector("S1130000285F245F2212226A000424290008237C2A\r\n" + kTermination);
    ASSERT_TRUE(r.Terminated) << r.Error->Describe();
    EXPECT_EQ(r.BytesWritten, 16u);
    const std::vector<std::uint8_t> want = {0x28, 0x5F, 0x24, 0x5F, 0x22, 0x12, 0x22, 0x6A,
                                            0x00, 0x04, 0x24, 0x29, 0x00, 0x08, 0x23, 0x7C};
    EXPECT_TRUE(std::equal(want.begin(), want.end(), sector.begin()));
    EXPECT_EQ(sector[16], 0xFF);
}

TEST_F(SRecordConversion, AddressWidthsOfS1S2S3)
{
    const auto r = Program(DataRecord(0x1234, {1}, 2) + DataRecord(0x012345, {2}, 3) + DataRecord(0x00023456, {3}, 4) +
                           kTermination);
    // S1 0x1234 lies below the program area
    EXPECT_FALSE(r.Terminated);
    ASSERT_TRUE(r.Error);
    EXPECT_EQ(r.Error->line, 1u);
    EXPECT_EQ(r.Error->column, 5u);
    EXPECT_EQ(r.Error->found, "0x1234");

    const auto ok = Program(DataRecord(0xFFFF, {9}, 2).substr(0, 0) + DataRecord(0x012345, {2}, 3) +
                            DataRecord(0x00023456, {3}, 4) + kTermination);
    ASSERT_TRUE(ok.Terminated);
    EXPECT_EQ(program[0x2345], 2);
    EXPECT_EQ(program[0x13456], 3);
    EXPECT_EQ(ok.HighestAddress, 0x23456u);
    EXPECT_EQ(ok.DataRecords, 2u);

    // In sector placement only the low 16 bits count: 0x10000 + A writes at A.
    ASSERT_TRUE(Sector(DataRecord(0x1234, {1}, 2) + DataRecord(0x0012345, {2}, 3) + DataRecord(0x30001, {7}, 4) +
                       kTermination));
    EXPECT_EQ(sector[0x1234], 1);
    EXPECT_EQ(sector[0x2345], 2);
    EXPECT_EQ(sector[0x0001], 7);
}

TEST_F(SRecordConversion, HeaderAndCountRecordsAreSkipped)
{
    const std::string body = DataRecord(0x10010, {0xAA, 0xBB}) + DataRecord(0x10020, {0xCC});
    const std::string with_extras = SRecordWriter::Record('0', 0, 2, std::vector<std::uint8_t>{'h', 'd', 'r'}) + body +
                                    "S5030002FA\r\n" + "S6 anything here\r\n" + kTermination;
    std::vector<std::uint8_t> plain(program.size(), 0xFF);
    ASSERT_TRUE(ConvertSRecordText(body + kTermination, plain, Placement::Program, cfg));
    ASSERT_TRUE(Program(with_extras));
    EXPECT_EQ(program, plain);
}

// The file's maker meant every record in it: a file that holds more than what converts is
// refused, not cut short.
TEST_F(SRecordConversion, RecordsThatWouldBeLostRefuseTheFile)
{
    const std::string head = DataRecord(0x10000, {1}) + kTermination;
    const auto data_after = Program(head + "S0030000FC\r\n" + DataRecord(0x10010, {2}));
    EXPECT_FALSE(data_after.Terminated);
    ASSERT_TRUE(data_after.Error);
    EXPECT_EQ(data_after.Error->line, 4u);
    EXPECT_EQ(data_after.Error->column, 1u);
    EXPECT_EQ(data_after.Error->expected, "no data record after the termination record");
    EXPECT_EQ(data_after.Error->found, "an S3 record");
    EXPECT_EQ(program[0], 1);  // what converted is still shown

    for (const std::string type : {"4", "X", "s", "\r"}) {
        const auto r = Program(DataRecord(0x10000, {1}) + "S" + type + "030000FC\r\n" + kTermination);
        EXPECT_FALSE(r.Terminated) << type;
        ASSERT_TRUE(r.Error);
        EXPECT_EQ(r.Error->line, 2u);
        EXPECT_EQ(r.Error->column, 2u);
        EXPECT_NE(r.Error->found.find("S"), std::string::npos) << r.Error->found;
        EXPECT_FALSE(Program(head + "S" + type + "030000FC\r\n")) << "after the termination record: " << type;
    }
    EXPECT_FALSE(Program(head + "garbage\r\n"));
}

TEST_F(SRecordConversion, OnlyRecordsWithoutDataMayFollowTheTermination)
{
    const std::string head = DataRecord(0x10000, {1}) + kTermination;
    for (const std::string& tail : {std::string(), std::string("\r\n\r\n"), std::string(" \t\n"),
                                    std::string("S5030001FB\r\nS9030000FC\r\n"), std::string("\x1A" "S3 junk"),
                                    std::string("S0 no CR at the end")}) {
        const auto r = Program(head + tail);
        EXPECT_TRUE(r.Terminated) << tail << ": " << (r.Error ? r.Error->Describe() : "");
    }
}

TEST_F(SRecordConversion, LastByteAddressFollowsTheRecordsEnd)
{
    const auto r = Program(DataRecord(0x1FFF8, std::vector<std::uint8_t>(16, 1)) + DataRecord(0x10000, {1}) +
                           kTermination);
    ASSERT_TRUE(r.Terminated);
    EXPECT_EQ(r.HighestAddress, 0x1FFF8u);
    EXPECT_EQ(r.LastByteAddress, 0x20007u);
}

TEST_F(SRecordConversion, TerminationFieldsAreNotExamined)
{
    EXPECT_TRUE(Sector(DataRecord(0, {1}) + "S7 not hex at all\r"));
    EXPECT_TRUE(Sector(DataRecord(0, {1}) + "S8\r"));
}

TEST_F(SRecordConversion, SkippedAndEndOfFileBytes)
{
    std::string record = DataRecord(0x10000, {0x12, 0x34});
    record.insert(7, "\xFE");  // inside the address
    record.insert(14, "\xFE\xFE");  // inside the data
    const auto r = Program("\xFE" + record + "\xFE" + kTermination);
    ASSERT_TRUE(r.Terminated) << r.Error->Describe();
    EXPECT_EQ(program[0], 0x12);
    EXPECT_EQ(program[1], 0x34);

    const auto eof = Program(DataRecord(0x10000, {1}) + "\x1A" + kTermination);
    EXPECT_FALSE(eof.Terminated);
    ASSERT_TRUE(eof.Error);
    EXPECT_EQ(eof.Error->line, 2u);
    EXPECT_EQ(eof.Error->found, "0x1A");
    // Even in a skipped line.
    EXPECT_FALSE(Program("S0 header \x1A\r\n" + kTermination));
}

TEST_F(SRecordConversion, TextMustReachATerminationRecord)
{
    const auto r = Program(DataRecord(0x10000, {1}));
    EXPECT_FALSE(r.Terminated);
    ASSERT_TRUE(r.Error);
    EXPECT_EQ(r.Error->found, "end of text");
    EXPECT_FALSE(Program(""));
    // A termination record without its CR is not finished.
    EXPECT_FALSE(Program(DataRecord(0x10000, {1}) + "S9030000FC"));
}

TEST_F(SRecordConversion, LineEndsMustBeCrLf)
{
    // An empty line is a CR at a line start.
    const auto blank = Program(DataRecord(0x10000, {1}) + "\r\n" + kTermination);
    EXPECT_FALSE(blank.Terminated);
    ASSERT_TRUE(blank.Error);
    EXPECT_EQ(blank.Error->line, 2u);
    EXPECT_EQ(blank.Error->column, 1u);
    EXPECT_EQ(blank.Error->found, "0x0D");

    // LF-only ends: the first record's "skip to CR" swallows everything after it.
    std::string lf_only = DataRecord(0x10000, {1}) + DataRecord(0x10001, {2}) + kTermination;
    lf_only.erase(std::remove(lf_only.begin(), lf_only.end(), '\r'), lf_only.end());
    EXPECT_FALSE(Program(lf_only));

    // A leading blank or stray character is no record.
    EXPECT_FALSE(Program(" " + DataRecord(0x10000, {1}) + kTermination));
}

TEST_F(SRecordConversion, HexDigitsAreUpperCaseOnly)
{
    std::string record = DataRecord(0x10000, {0xAB});
    std::string lower = record;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return c == 'S' ? c : std::tolower(c); });
    const auto r = Program(lower + kTermination);
    EXPECT_FALSE(r.Terminated);
    ASSERT_TRUE(r.Error);
    EXPECT_NE(r.Error->expected.find("hex digit"), std::string::npos);

    std::string bad = record;
    bad[13] = 'G';
    const auto g = Program(bad + kTermination);
    ASSERT_TRUE(g.Error);
    EXPECT_EQ(g.Error->column, 14u);
    EXPECT_EQ(g.Error->found, "'G'");
}

TEST_F(SRecordConversion, RecordSumIsChecked)
{
    std::string record = DataRecord(0x10000, {0x01, 0x02});
    // Change one data digit: the sum no longer comes to 0xFF.
    record[13] = record[13] == '1' ? '3' : '1';
    const auto r = Program(record + kTermination);
    EXPECT_FALSE(r.Terminated);
    ASSERT_TRUE(r.Error);
    EXPECT_NE(r.Error->expected.find("record checksum"), std::string::npos);
    EXPECT_EQ(r.Error->column, 17u);
}

TEST_F(SRecordConversion, DataRecordsCarryData)
{
    // S3 count 05: four address bytes and the checksum, no data.
    EXPECT_FALSE(Program("S30500010000F9\r\n" + kTermination));
    // A count below the address length.
    EXPECT_FALSE(Program("S1020000FD\r\n" + kTermination));
}

TEST_F(SRecordConversion, RecordOutsideTheProgramAreaFails)
{
    EXPECT_FALSE(Program(DataRecord(0x0FFFF, {1}) + kTermination));
    EXPECT_FALSE(Program(DataRecord(0x50000, {1}) + kTermination));
    EXPECT_TRUE(Program(DataRecord(0x4FFFF, {1}) + kTermination));
    // Starting inside but running past the end of the area.
    const auto past = Program(DataRecord(0x4FFFE, {1, 2, 3}) + kTermination);
    EXPECT_FALSE(past.Terminated);
    ASSERT_TRUE(past.Error);
    EXPECT_NE(past.Error->expected.find("program area"), std::string::npos);
}

TEST_F(SRecordConversion, DataPastFramEndFails)
{
    cfg.FRAM_END_ADR = 0x0F;
    EXPECT_TRUE(Sector(DataRecord(0x08, std::vector<std::uint8_t>(8, 0x11)) + kTermination));
    const auto r = Sector(DataRecord(0x08, std::vector<std::uint8_t>(9, 0x22)) + kTermination);
    EXPECT_FALSE(r.Terminated);
    ASSERT_TRUE(r.Error);
    EXPECT_NE(r.Error->expected.find("FRAM_END_ADR"), std::string::npos);
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

TEST(SRecordWriterTest, WritesWhatTheConverterReads)
{
    std::vector<std::uint8_t> data(1000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + 3);
    std::fill(data.begin() + 100, data.begin() + 400, 0xFF);
    SRecordWriter writer("rt00", 48);
    writer.AddData(0x10010, data, true);
    const std::string text = writer.Finish();
    EXPECT_EQ(text.rfind("S0070000727430", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 16), "S70500000000FA\r\n");

    Config cfg = test::ImageTestConfig();
    std::vector<std::uint8_t> image(0x40000, 0xFF);
    const auto r = ConvertSRecordText(text, image, Placement::Program, cfg);
    ASSERT_TRUE(r.Terminated) << r.Error->Describe();
    EXPECT_TRUE(std::equal(data.begin(), data.end(), image.begin() + 0x10));
}

TEST(SRecordWriterTest, TableSizedRecordsFitTheLineTables)
{
    const std::vector<std::uint8_t> data(64, 0x5A);
    for (auto [per_record, longest] : {std::pair{SREC_FPGA_BYTES_PER_RECORD, 47u}, std::pair{SREC_BOOT_BYTES_PER_RECORD, 67u}}) {
        SRecordWriter writer("fpga01", per_record);
        writer.AddData(0xFFFFFF00, data);
        const std::string text = writer.Finish();
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find("\r\n", start);
            ASSERT_NE(end, std::string::npos);
            EXPECT_LE(end - start, longest);
            start = end + 2;
        }
    }
}

TEST(SRecordWriterTest, DocumentedExample)
{
    SRecordWriter writer("rt00");
    writer.AddData(0x00010000, std::vector<std::uint8_t>{0x12, 0x34});
    EXPECT_EQ(writer.Finish(), "S007000072743030B2\r\nS307000100001234B1\r\nS70500000000FA\r\n");
}

}  // namespace
