#pragma once
// The bodies of the fuzz targets for every reader of outside input that is not an image:
// verup.dat, the telnet reader, the serial reply matcher, getdata replies, the backup file
// and its conversion. Shared with the test that replays fuzz/corpus-regressions. Each checks
// what its reader promises on any input (bounds, round trips, the same outcome however the
// bytes were cut) and aborts when that breaks; the sanitizers catch the rest.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "ImageFuzzTargets.h"
#include "lan/ReplyWordWatch.h"
#include "lan/TelnetLink.h"
#include "lan/TelnetWords.h"
#include "package/ConfigReader.h"
#include "platform/ProfileFile.h"
#include "protocol/ReplyKind.h"
#include "protocol/ReplyText.h"
#include "serial/ResponseMatcher.h"
#include "settings/BackupFile.h"
#include "settings/ConversionRules.h"
#include "settings/GetdataReply.h"
#include "settings/SettingsTable.h"
#include "settings/SettingsWords.h"

namespace verup::fuzz {

inline std::string_view Text(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

inline std::string Folded(std::string_view t)
{
    std::string out(t);
    for (char& c : out)
        c = static_cast<char>(FoldByte(c));
    return out;
}

// The first byte picks up to 7 cuts of the rest (each from one more byte): the segments as
// the network might deliver them.
inline std::vector<std::string_view> Segments(std::string_view& input)
{
    const std::size_t count = input.empty() ? 0 : static_cast<unsigned char>(input[0]) % 8;
    input.remove_prefix(std::min<std::size_t>(input.size(), 1));
    std::vector<std::size_t> cuts;
    for (std::size_t i = 0; i < count && !input.empty(); ++i) {
        cuts.push_back(static_cast<unsigned char>(input[0]));
        input.remove_prefix(1);
    }
    for (std::size_t& cut : cuts)
        cut = input.size() * cut / 255;
    std::sort(cuts.begin(), cuts.end());
    std::vector<std::string_view> segments;
    std::size_t from = 0;
    for (const std::size_t cut : cuts) {
        segments.push_back(input.substr(from, cut - from));
        from = cut;
    }
    segments.push_back(input.substr(from));
    return segments;
}

// The input as verup.dat, read as the start-up reads it: every value within its field. How
// names and values are read is the answer files' test (tests/data/profile).
inline void ProfileOne(const std::uint8_t* data, std::size_t size)
{
    const std::string_view content = Text(data, size);
    const ProfileSnapshot file = ProfileSnapshot::Parse(content);
    Require(file.State() == ProfileSnapshot::Status::Read, "a small input is read");

    Config cfg;
    ReadConfig(file, cfg);
    Require(cfg.NUM_LEN >= 0 && cfg.NUM_LEN <= kMaxVersionTextLength, "NUM_LEN within its field");
    Require(cfg.NUM.size() <= static_cast<std::size_t>(kMaxVersionTextLength), "NUM within its field");
    Require(cfg.FP_LEN >= 0 && cfg.FP_LEN <= kMaxFpgaParams, "FP_LEN within the parameter sets");
    Require(cfg.NAME1.size() < kProfileTextBuffer && cfg.KIKI2.size() < kProfileTextBuffer, "texts cut to the buffer");
    for (const char* section : {"N_SAVE", "O_SAVE", "C_DATA", "C_SAVE"}) {
        const SettingsLayoutTable layout = ReadSettingsLayout(file, section);
        Require(layout.BlockCount >= 0 && layout.BlockCount <= SettingsTable::kMaxBlocks, "block count capped");
        Require(layout.ItemCounts.size() == static_cast<std::size_t>(layout.BlockCount), "one count per block");
        for (const int items : layout.ItemCounts)
            Require(items >= 0 && items <= SettingsTable::kMaxItems, "item count capped");
    }
}

// The first byte picks the awaited reply kind (or watch mode), the rest is cut into segments.
// The word watch, fed byte by byte, answers as a full search of what it was fed at each cut;
// the link ends in the same state whatever the cuts.
inline void TelnetOne(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return;
    const int kind = static_cast<int>(data[0] % 11) - 1;  // -1 watch mode, 0 ... 9 kinds
    std::string_view input = Text(data + 1, size - 1);
    const std::vector<std::string_view> segments = Segments(input);

    static const std::string_view words[] = {
        telnet::kCommandPrompt, telnet::kPasswordLine,  telnet::kAdminPrompt, telnet::kDownloadPrompt,
        telnet::kDownloadOk,    telnet::kDownloadError, telnet::kWriteOk,     telnet::kEraseOk,
        telnet::kErrorWord};
    ReplyWordWatch watch;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(input.data());
    std::size_t n = 0;
    for (const std::string_view segment : segments) {
        for (const std::size_t end = n + segment.size(); n < end;)
            watch.OnAppend(bytes, ++n);
        const std::string_view seen = input.substr(0, n);
        for (int w = 0; w < ReplyWordWatch::kWordCount; ++w)
            Require(watch.Found(static_cast<ReplyWordWatch::Word>(w)) == (FindText(seen, words[w]) != 0),
                    "a reply word is found exactly when a full search finds it");
        Require(watch.PasswordPrompt() == (HasPasswordPrompt(seen, n) != 0), "password prompt as a full search");
        Require(watch.UploadEnd() == (Folded(seen.substr(0, n > 0 ? n - 1 : 0)).find("ul.ok") != std::string::npos),
                "upload end once a byte follows its word");
    }

    static const Clock clock;
    static TelnetLink link(clock);
    struct Outcome {
        int state = 0;
        std::vector<int> notes;
        std::vector<std::uint8_t> answers;
        std::size_t length = 0, dropped = 0;
        int stage = 0;
        bool operator==(const Outcome&) const = default;
    };
    auto run = [&](const std::vector<std::string_view>& cuts) {
        Outcome o;
        link.StartDetached(kind);
        for (const std::string_view s : cuts)
            o.state = link.FeedDetached(reinterpret_cast<const std::uint8_t*>(s.data()), s.size(), o.notes, o.answers);
        o.length = link.ReceiveLength();
        o.dropped = link.DroppedBytes();
        o.stage = link.NegotiationStage();
        return o;
    };
    const Outcome split = run(segments);
    Require(split.length <= TelnetLink::kReceiveBufferBytes, "receive length within the buffer");
    for (std::size_t i = 0; i < split.answers.size(); i += 3)
        Require(split.answers[i] == telnet::IAC && i + 3 <= split.answers.size(), "answers are whole commands");
    Require(split == run({input}), "the outcome does not depend on how the bytes were cut");
}

// The first byte picks the reply kind; the rest is the reply (for the bulk upload cut into
// segments). An error word always fails the exchange, and nothing with one in it is recognised.
inline void MatcherOne(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return;
    const int kind = data[0] % 16;
    std::string_view input = Text(data + 1, size - 1);
    ReceiveBuffer buffer;
    ExchangeWords words;
    ResponseMatcher matcher(buffer, words);
    words.ExpectedReply = kind;
    words.ExchangeState = STATE_WAITING;
    matcher.StartExchange();

    if (kind == RK_UPLOAD_BULK) {
        for (const std::string_view s : Segments(input))
            matcher.OnBulkBytes(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
        const std::string folded = Folded(input);
        const std::size_t at = folded.find("ul.ok");
        const bool found = at != std::string::npos && at + 6 <= folded.size() && folded.size() <= buffer.Capacity();
        Require(found == (words.ExchangeState == STATE_RECOGNISED), "upload end exactly when followed by a byte");
        return;
    }
    for (const char c : input)
        matcher.OnByte(static_cast<std::uint8_t>(c));
    Require(buffer.Count() == input.size() && buffer.Bytes() == input && !matcher.Overflowed(),
            "the buffer holds the reply");
    const bool error_word = FindText(input, serial_words::ERROR_WORD) != 0;
    Require(matcher.ErrorWordSeen() == error_word, "the error word is tracked");
    Require(!error_word || words.ExchangeState == STATE_ERROR_WORD, "the error word fails the exchange");
    Require(words.ExchangeState != STATE_RECOGNISED || FindText(input, serial_words::ERROR_KATAKANA) == 0,
            "a reply with an error word is never recognised");
}

// The first two bytes give the item count; the rest is the gathered getdata text.
inline void GetdataOne(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return;
    const int count = ((data[0] << 8) | data[1]) % 1100;
    const std::string_view gathered = Text(data + 2, size - 2);
    std::vector<std::string> items;
    const bool complete = ReadGetdataItems(gathered, count, items);
    Require(items.size() <= static_cast<std::size_t>(count), "no more items than asked");
    Require(!complete || items.size() == static_cast<std::size_t>(count), "complete means every item");
    std::size_t total = 0;
    for (const std::string& item : items) {
        Require(item.find('\r') == std::string::npos, "an item holds no CR");
        total += item.size();
    }
    Require(total <= gathered.size(), "items come from the text");
    if (complete && count > 0) {
        std::string reply = "getdata 1\r\r\n";
        for (const std::string& item : items)
            reply += item + "\r\r\n";
        std::vector<std::string> again;
        Require(ReadGetdataItems(reply, count, again) && again == items, "a well-formed reply reads back");
    }
}

// A small layout from the input's first bytes: up to 40 blocks (block 19 and 37 reachable).
inline SettingsLayoutTable LayoutFrom(std::string_view& input)
{
    SettingsLayoutTable layout;
    if (input.empty())
        return layout;
    layout.BlockCount = static_cast<unsigned char>(input[0]) % 41;
    input.remove_prefix(1);
    for (int b = 0; b < layout.BlockCount; ++b) {
        layout.ItemCounts.push_back(input.empty() ? 1 : static_cast<unsigned char>(input[0]) % 5);
        input.remove_prefix(std::min<std::size_t>(input.size(), 1));
    }
    return layout;
}

// The first byte picks the title check, then a layout; the rest is the backup file. What was
// read, written out again, reads back the same.
inline void BackupOne(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return;
    std::string_view input = Text(data + 1, size - 1);
    const SettingsLayoutTable layout = LayoutFrom(input);
    const std::string content(input);
    const std::string title = (data[0] & 1) ? content.substr(0, content.find('\r')) : std::string("NEXAVO7300QB");

    BackupFileReader reader(content);
    if (!reader.StartsWithTitle(title))
        return;
    Require(content.compare(0, title.size() + 1, title + '\r') == 0, "the title is the first line exactly");
    SettingsTable table;
    std::string item;
    std::size_t taken = 0;
    for (int b = 1; b <= layout.BlockCount; ++b)
        for (int i = 1; i <= layout.Items(b); ++i) {
            if (!reader.NextItem(item))
                return;
            Require(item.find('\r') == std::string::npos, "an item holds no CR");
            taken += item.size() + 2;
            Require(taken <= content.size() + 1, "items come from the file");
            table.SetItem(b, i, item);
        }
    BackupFileReader again(FormatBackupFile(title, table, layout));
    Require(again.StartsWithTitle(title), "a written file starts with its title");
    for (int b = 1; b <= layout.BlockCount; ++b)
        for (int i = 1; i <= layout.Items(b); ++i)
            Require(again.NextItem(item) && item == table.Item(b, i), "a written file reads back");
}

// A layout, then the old backup's lines after the title, dealt out and converted as the
// re-laying does: a converted item stays as it is, a record keeps its fields, and only the
// record block and the mode item ever change.
inline void ConversionOne(const std::uint8_t* data, std::size_t size)
{
    std::string_view input = Text(data, size);
    const SettingsLayoutTable layout = LayoutFrom(input);
    BackupFileReader reader("T\r\n" + std::string(input));
    Require(reader.StartsWithTitle("T"), "the title line");
    std::string item;
    for (int b = 1; b <= layout.BlockCount; ++b)
        for (int i = 1; i <= layout.Items(b); ++i) {
            if (!reader.NextItem(item))
                return;
            const std::string converted = ApplyConversionRules(b, i, item);
            Require(ApplyConversionRules(b, i, converted) == converted, "a converted item stays as it is");
            if (converted == item)
                continue;
            Require(b == settings::kRecordBlock || (b == settings::kModeBlock && i == settings::kModeItem),
                    "only records and the mode change");
            const auto fields = [](const std::string& t) { return std::count(t.begin(), t.end(), '\x01'); };
            Require(b != settings::kRecordBlock || fields(item) == fields(converted), "a record keeps its fields");
        }
    const std::string text(input.substr(0, 40));
    if (text.find_first_of(std::string("\0\f\v", 3)) == std::string::npos)
        Require(ReadLeadingNumber(text) == std::strtol(text.c_str(), nullptr, 10), "numbers read as strtol reads them");
}

}  // namespace verup::fuzz
