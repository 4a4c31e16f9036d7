#include "image/SRecordConverter.h"

#include <cstdio>

namespace verup {

namespace {

constexpr unsigned char SKIPPED_BYTE = 0xFE;
constexpr unsigned char END_OF_FILE_MARK = 0x1A;
constexpr const char* HEX_DIGIT = "hex digit 0-9 or A-F";

int HexValue(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string Hex(std::uint64_t value, int digits)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

enum class State {
    LineStart, RecordType, ByteCount, Address, Data, Checksum, SkipLine, Termination,
    // After the termination record: only line ends, blanks and records without data.
    TrailerLineStart, TrailerRecordType, TrailerSkipLine,
};

bool IsTrailer(State state)
{
    return state == State::TrailerLineStart || state == State::TrailerRecordType || state == State::TrailerSkipLine;
}

// "S4", or "S followed by 0x0D" for a type that cannot be shown.
std::string RecordTypeText(unsigned char c)
{
    if (c > 0x20 && c < 0x7F)
        return std::string("S") + static_cast<char>(c);
    return "S followed by " + DescribeByte(c);
}

// S0 (header), S5 and S6 (record counts) carry nothing to load.
bool IsSkippedType(unsigned char c)
{
    return c == '0' || c == '5' || c == '6';
}

class Converter {
public:
    Converter(std::span<std::uint8_t> image, Placement placement, const ImageLayout& cfg)
        : image_(image), placement_(placement), cfg_(cfg)
    {
    }

    ConversionResult Run(std::string_view text)
    {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c != SKIPPED_BYTE) {
                if (c == END_OF_FILE_MARK) {
                    if (IsTrailer(state_))
                        break;
                    return Fail(c, ExpectedHere() + " (0x1A ends the text before a termination record)");
                }
                if (!Step(c))
                    return std::move(result_);
            }
            if (c == '\n') {
                ++line_;
                column_ = 1;
            } else {
                ++column_;
            }
        }
        if (IsTrailer(state_)) {
            result_.Terminated = true;
            return std::move(result_);
        }
        ConversionError error{line_, column_, ExpectedHere(), "end of text"};
        if (state_ == State::LineStart || state_ == State::SkipLine)
            error.expected = "a termination record (S7, S8 or S9)";
        result_.Error = std::move(error);
        return std::move(result_);
    }

private:
    std::string ExpectedHere() const
    {
        switch (state_) {
        case State::LineStart: return "'S' or LF at the start of a line";
        case State::RecordType: return "record type";
        case State::ByteCount: return "byte count (" + std::string(HEX_DIGIT) + ")";
        case State::Address: return "address (" + std::string(HEX_DIGIT) + ")";
        case State::Data: return "data (" + std::string(HEX_DIGIT) + ")";
        case State::Checksum: return "record checksum (" + std::string(HEX_DIGIT) + ")";
        case State::SkipLine: return "CR ending the record";
        case State::Termination: return "CR ending the termination record";
        case State::TrailerLineStart: return "nothing but record-free lines after the termination record";
        case State::TrailerRecordType: return "no data after the termination record";
        case State::TrailerSkipLine: return "CR or LF ending the record";
        }
        return {};
    }

    ConversionResult Fail(unsigned char c, std::string expected)
    {
        result_.Error = ConversionError{line_, column_, std::move(expected), DescribeByte(c)};
        return std::move(result_);
    }

    bool FailAt(std::size_t column, std::string expected, std::string found)
    {
        result_.Error = ConversionError{line_, column, std::move(expected), std::move(found)};
        return false;
    }

    // Collects two hex digits; true with `byte` set when the second one completes it.
    bool TakeDigit(unsigned char c, bool& complete)
    {
        const int v = HexValue(c);
        if (v < 0) {
            FailAt(column_, ExpectedHere(), DescribeByte(c));
            return false;
        }
        if (!have_high_) {
            have_high_ = true;
            high_ = v;
            first_digit_column_ = column_;
            complete = false;
        } else {
            have_high_ = false;
            byte_ = static_cast<std::uint8_t>(high_ * 16 + v);
            complete = true;
        }
        return true;
    }

    bool Step(unsigned char c)
    {
        bool complete = false;
        switch (state_) {
        case State::LineStart:
            if (c == 'S') {
                state_ = State::RecordType;
                return true;
            }
            if (c == '\n')
                return true;
            FailAt(column_, c == '\r' ? "a record, not an empty line" : ExpectedHere(), DescribeByte(c));
            return false;

        case State::RecordType:
            if (c >= '1' && c <= '3') {
                address_bytes_ = c - '0' + 1;
                state_ = State::ByteCount;
            } else if (c >= '7' && c <= '9') {
                state_ = State::Termination;
            } else if (IsSkippedType(c)) {
                state_ = State::SkipLine;
            } else {
                // An S4 or a type that is no digit: the file is not what its maker meant.
                return FailAt(column_, "record type 0, 1, 2, 3, 5, 6, 7, 8 or 9", RecordTypeText(c));
            }
            return true;

        case State::ByteCount:
            if (!TakeDigit(c, complete))
                return false;
            if (complete) {
                remaining_ = byte_;
                sum_ = byte_;
                address_ = 0;
                // An address, at least one data byte and the checksum.
                if (remaining_ < address_bytes_ + 2)
                    return FailAt(first_digit_column_,
                                  "byte count of at least " + Hex(address_bytes_ + 2, 2) + " (S" +
                                      std::to_string(address_bytes_ - 1) + " record with data)",
                                  Hex(byte_, 2));
                address_left_ = address_bytes_;
                state_ = State::Address;
            }
            return true;

        case State::Address:
            if (address_left_ == address_bytes_ && !have_high_)
                address_column_ = column_;
            if (!TakeDigit(c, complete))
                return false;
            if (complete) {
                sum_ += byte_;
                address_ = (address_ << 8) | byte_;
                --remaining_;
                if (--address_left_ == 0)
                    return PlaceRecord();
            }
            return true;

        case State::Data:
            if (!TakeDigit(c, complete))
                return false;
            if (complete) {
                if (!StoreByte())
                    return false;
                sum_ += byte_;
                if (--remaining_ == 1)
                    state_ = State::Checksum;
            }
            return true;

        case State::Checksum:
            if (!TakeDigit(c, complete))
                return false;
            if (complete) {
                const std::uint8_t wanted = static_cast<std::uint8_t>(0xFF - (sum_ & 0xFF));
                sum_ += byte_;
                if ((sum_ & 0xFF) != 0xFF)
                    return FailAt(first_digit_column_, "record checksum " + Hex(wanted, 2).substr(2),
                                  Hex(byte_, 2).substr(2));
                state_ = State::SkipLine;
            }
            return true;

        case State::SkipLine:
            if (c == '\r')
                state_ = State::LineStart;
            return true;

        case State::Termination:
            if (c == '\r')
                state_ = State::TrailerLineStart;
            return true;

        // Data past the termination record would never be loaded by the device, yet the
        // file's maker meant it to be: such a file is refused, not cut short.
        case State::TrailerLineStart:
            if (c == 'S') {
                record_column_ = column_;
                state_ = State::TrailerRecordType;
                return true;
            }
            if (c == '\r' || c == '\n' || c == ' ' || c == '\t')
                return true;
            return FailAt(column_, ExpectedHere(), DescribeByte(c));

        case State::TrailerRecordType:
            if (IsSkippedType(c) || (c >= '7' && c <= '9')) {
                state_ = State::TrailerSkipLine;
                return true;
            }
            if (c >= '1' && c <= '3')
                return FailAt(record_column_, "no data record after the termination record", "an " + RecordTypeText(c) + " record");
            return FailAt(column_, "record type 0, 5, 6, 7, 8 or 9", RecordTypeText(c));

        case State::TrailerSkipLine:
            if (c == '\r' || c == '\n')
                state_ = State::TrailerLineStart;
            return true;
        }
        return false;
    }

    bool PlaceRecord()
    {
        ++result_.DataRecords;
        if (placement_ == Placement::Program) {
            const std::uint64_t start = cfg_.PROG_RAM_STR_ADR;
            const std::uint64_t end = cfg_.PROG_RAM_END_ADR;
            if (address_ < start || address_ > end || end < start)
                return FailAt(address_column_,
                              "record address in the program area " + Hex(start, 8) + " ... " + Hex(end, 8),
                              Hex(address_, 2 * address_bytes_));
            position_ = address_ - start;
            if (address_ > result_.HighestAddress)
                result_.HighestAddress = static_cast<std::uint32_t>(address_);
        } else {
            position_ = address_ & 0xFFFF;
        }
        state_ = State::Data;
        return true;
    }

    bool StoreByte()
    {
        if (position_ > cfg_.FRAM_END_ADR)
            return FailAt(first_digit_column_, "data at offset at most FRAM_END_ADR " + Hex(cfg_.FRAM_END_ADR, 8),
                          "data at offset " + Hex(position_, 8));
        if (placement_ == Placement::Program &&
            position_ > static_cast<std::uint64_t>(cfg_.PROG_RAM_END_ADR) - cfg_.PROG_RAM_STR_ADR)
            return FailAt(first_digit_column_,
                          "data inside the program area (up to address " + Hex(cfg_.PROG_RAM_END_ADR, 8) + ")",
                          "data at address " + Hex(position_ + cfg_.PROG_RAM_STR_ADR, 8));
        if (position_ >= image_.size())
            return FailAt(first_digit_column_, "data inside the image of " + Hex(image_.size(), 8) + " bytes",
                          "data at offset " + Hex(position_, 8));
        image_[position_] = byte_;
        if (placement_ == Placement::Program) {
            const std::uint64_t address = position_ + cfg_.PROG_RAM_STR_ADR;
            if (address > result_.LastByteAddress)
                result_.LastByteAddress = static_cast<std::uint32_t>(address);
        }
        ++position_;
        ++result_.BytesWritten;
        return true;
    }

    std::span<std::uint8_t> image_;
    Placement placement_;
    const ImageLayout& cfg_;
    ConversionResult result_;

    State state_ = State::LineStart;
    std::size_t record_column_ = 1;
    std::size_t line_ = 1;
    std::size_t column_ = 1;
    std::size_t address_column_ = 1;
    std::size_t first_digit_column_ = 1;
    bool have_high_ = false;
    int high_ = 0;
    std::uint8_t byte_ = 0;
    int address_bytes_ = 0;
    int address_left_ = 0;
    int remaining_ = 0;
    unsigned sum_ = 0;
    std::uint64_t address_ = 0;
    std::uint64_t position_ = 0;
};

}  // namespace

ConversionResult ConvertSRecordText(std::string_view text, std::span<std::uint8_t> image, Placement placement,
                                    const ImageLayout& cfg)
{
    Converter converter(image, placement, cfg);
    return converter.Run(text);
}

}  // namespace verup
