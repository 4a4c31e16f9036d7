#pragma once
// The bodies of the fuzz targets for every reader of outside input that is not an image:
// verup.dat, the telnet reader, the serial reply matcher, getdata replies, the backup file
// and its conversion. Shared with the test that replays fuzz/corpus-regressions. Each checks
// the reader against a plain model of its rules and aborts when they disagree.
#include <algorithm>
#include <cerrno>
#include <climits>
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

// The first byte picks up to 7 cuts of the rest (each from one more byte): the segments as
// the network might deliver them.
inline std::vector<std::string_view> Segments(std::string_view& input)
{
    std::vector<std::size_t> cuts;
    const std::size_t count = input.empty() ? 0 : static_cast<unsigned char>(input[0]) % 8;
    input.remove_prefix(std::min<std::size_t>(input.size(), 1));
    std::vector<unsigned char> fractions;
    for (std::size_t i = 0; i < count && !input.empty(); ++i) {
        fractions.push_back(static_cast<unsigned char>(input[0]));
        input.remove_prefix(1);
    }
    for (const unsigned char f : fractions)
        cuts.push_back(input.size() * f / 255);
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

// ---------------------------------------------------------------- verup.dat

// The reading rules of ProfileFile.h, followed line by line for one key: the model the parsed
// snapshot must agree with.
inline std::string Folded(std::string_view t)
{
    std::string out(t);
    for (char& c : out)
        c = static_cast<char>(FoldByte(c));
    return out;
}

// `t` without leading bytes from `front` and trailing bytes from `back`.
inline std::string_view Trim(std::string_view t, std::string_view front, std::string_view back)
{
    while (!t.empty() && front.find(t.front()) != std::string_view::npos)
        t.remove_prefix(1);
    while (!t.empty() && back.find(t.back()) != std::string_view::npos)
        t.remove_suffix(1);
    return t;
}

// The next line of `rest` (without its CR LF, LF or lone CR), which is removed from `rest`.
inline std::string_view NextLine(std::string_view& rest)
{
    const std::size_t end = rest.find_first_of("\r\n");
    const std::string_view line = rest.substr(0, end);
    if (end == std::string_view::npos)
        rest = {};
    else
        rest.remove_prefix(end + (rest.substr(end, 2) == "\r\n" ? 2 : 1));
    return line;
}

inline const std::string* ModelLookup(std::string_view content, std::string_view section, std::string_view key,
                                      std::string& value)
{
    auto fold = [](std::string_view a, std::string_view b) { return Folded(a) == Folded(b); };
    auto trim = [](std::string_view t) {
        constexpr std::string_view blanks(" \t\r\n\v\f\x1a");
        return Trim(t, blanks, blanks);
    };
    section = trim(section);
    key = trim(key);
    // 0 before the section, 1 inside its first appearance, 2 after it; the lines before the
    // first header are the section "".
    int state = section.empty() ? 1 : 0;
    while (!content.empty() && state < 2) {
        const std::string_view line = NextLine(content);
        const std::string_view t = trim(line);
        if (!t.empty() && t.front() == '[' && t.find(']') != std::string_view::npos) {
            if (state == 1)
                state = 2;
            else if (fold(trim(t.substr(1, t.rfind(']') - 1)), section))
                state = 1;
        } else if (state == 1 && line.find('=') != std::string_view::npos &&
                   fold(trim(line.substr(0, line.find('='))), key)) {
            std::string_view v = trim(line.substr(line.find('=') + 1));
            if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
                v = v.substr(1, v.size() - 2);
            value = std::string(v);
            return &value;
        }
    }
    return nullptr;
}

// The input as verup.dat: parsed once, read as the start-up reads it, and a few lookups
// (names taken from the input itself) checked against the model.
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

    // Section and key names as the input spells them (and a few others).
    std::vector<std::string_view> sections = {"MODE", "VERUP", ""};
    std::vector<std::string_view> keys = {"DEBUG", "NUM", ""};
    auto trim = [](std::string_view t) { return Trim(t, " \t[", " \t\r]"); };
    for (std::string_view rest = content; !rest.empty() && keys.size() + sections.size() < 12;) {
        const std::string_view line = NextLine(rest);
        if (line.find('=') != std::string_view::npos)
            keys.push_back(trim(line.substr(0, line.find('='))));
        else if (line.find('[') != std::string_view::npos)
            sections.push_back(trim(line.substr(0, line.find(']'))));
    }
    std::string model;
    for (const std::string_view section : sections)
        for (const std::string_view key : keys) {
            const std::string* expected = ModelLookup(content, section, key, model);
            Require(file.HasKey(section, key) == (expected != nullptr), "a key is found where the rules find it");
            if (expected != nullptr)
                Require(file.GetString(section, key, "", 1u << 21) == *expected, "the value the rules give");
        }
}

// ---------------------------------------------------------------- telnet reader

// The first byte picks the awaited reply kind (or watch mode), the second the segment cuts.
// The recognizer is checked against a full search after every byte, and the link must end
// in the same state whatever the cuts.
inline void TelnetOne(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return;
    const int kind = static_cast<int>(data[0] % 11) - 1;  // -1 watch mode, 0 ... 9 kinds
    std::string_view input = Text(data + 1, size - 1);

    // The word watch, fed byte by byte, against a full search of what it was fed at each cut
    // and at the end (its answers only ever turn true).
    const std::vector<std::string_view> segments = Segments(input);
    {
        static const std::string_view words[] = {
            telnet::kCommandPrompt, telnet::kPasswordLine, telnet::kAdminPrompt, telnet::kDownloadPrompt,
            telnet::kDownloadOk,    telnet::kDownloadError, telnet::kWriteOk,    telnet::kEraseOk,
            telnet::kErrorWord};
        ReplyWordWatch watch;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(input.data());
        std::size_t n = 0;
        for (const std::string_view segment : segments) {
            for (std::size_t end = n + segment.size(); n < end;)
                watch.OnAppend(bytes, ++n);
            const std::string_view seen = input.substr(0, n);
            for (int w = 0; w < ReplyWordWatch::kWordCount; ++w)
                Require(watch.Found(static_cast<ReplyWordWatch::Word>(w)) == (FindText(seen, words[w]) != 0),
                        "a reply word is found exactly when a full search finds it");
            Require(watch.PasswordPrompt() == (HasPasswordPrompt(seen, n) != 0), "password prompt as a full search");
            Require(watch.UploadEnd() == (Folded(seen.substr(0, n > 0 ? n - 1 : 0)).find("ul.ok") != std::string::npos),
                    "upload end once a byte follows its word");
        }
    }

    static const Clock clock;
    static TelnetLink link(clock);
    struct Outcome {
        int state = 0;
        std::vector<int> notes;
        std::vector<std::uint8_t> answers;
        std::size_t length = 0;
        std::size_t dropped = 0;
        int stage = 0;
    };
    auto run = [&](const std::vector<std::string_view>& segments) {
        Outcome o;
        link.StartDetached(kind);
        for (const std::string_view segment : segments)
            o.state = link.FeedDetached(reinterpret_cast<const std::uint8_t*>(segment.data()), segment.size(), o.notes,
                                        o.answers);
        o.length = link.ReceiveLength();
        o.dropped = link.DroppedBytes();
        o.stage = link.NegotiationStage();
        return o;
    };
    const Outcome split = run(segments);
    const Outcome whole = run({input});
    Require(split.length <= TelnetLink::kReceiveBufferBytes, "receive length within the buffer");
    for (std::size_t i = 0; i < split.answers.size(); i += 3)
        Require(split.answers[i] == telnet::IAC && i + 3 <= split.answers.size(), "answers are whole commands");
    Require(split.state == whole.state && split.notes == whole.notes && split.answers == whole.answers &&
                split.length == whole.length && split.dropped == whole.dropped && split.stage == whole.stage,
            "the outcome does not depend on how the bytes were cut");
}

// ---------------------------------------------------------------- serial reply matcher

// The first byte picks the reply kind and whether matching runs; the rest is the reply (in
// bulk mode cut into segments). At the end
// the state must be what a full search of the text says.
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
        const std::vector<std::string_view> segments = Segments(input);
        for (const std::string_view s : segments)
            matcher.OnBulkBytes(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
        const std::string folded = Folded(input);
        const std::size_t at = folded.find("ul.ok");
        const bool found = at != std::string::npos && at + 6 <= folded.size() && folded.size() <= buffer.Capacity();
        Require(found == (words.ExchangeState == STATE_RECOGNISED), "upload end exactly when followed by a byte");
        return;
    }
    for (const char c : input)
        matcher.OnByte(static_cast<std::uint8_t>(c));
    Require(buffer.Count() == input.size() && !matcher.Overflowed(), "the buffer holds the reply");
    using namespace serial_words;
    static const std::string_view kind_words[] = {OK, WRITE_OK, READY, FROM_PROMPT, ERASE_OK, SHELL_PROMPT,
                                                  WRITE_OK_LINE, F0_PROMPT, MM_OK, MP_OK, "", DL_PROMPT, DL_OK,
                                                  ERASE_OK_LINE};
    const std::string_view text = buffer.Bytes();
    auto has = [&](std::string_view w) { return FindText(text, w) != 0; };
    int expected = STATE_WAITING;
    if (has(ERROR_WORD)) {
        expected = STATE_ERROR_WORD;
    } else {
        if (kind < 14 && kind != RK_UPLOAD_BULK && has(kind_words[kind]))
            expected = STATE_RECOGNISED;
        else if (kind == RK_DL_RESULT && has(DL_ERROR))
            expected = STATE_ERROR_WORD;
        if (expected != STATE_WAITING && has(ERROR_KATAKANA))
            expected = STATE_ERROR_WORD;
    }
    Require(words.ExchangeState == expected, "the exchange state is what a full search gives");
    Require(matcher.ErrorWordSeen() == has(ERROR_WORD), "the error word is tracked");
}

// ---------------------------------------------------------------- settings files

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
    // Reading the items back from a reply made of them gives them again.
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
        const int items = input.empty() ? 1 : static_cast<unsigned char>(input[0]) % 5;
        if (!input.empty())
            input.remove_prefix(1);
        layout.ItemCounts.push_back(items);
    }
    return layout;
}

// The first byte picks the title check, then a layout; the rest is the backup file.
inline void BackupOne(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return;
    const bool own_title = (data[0] & 1) != 0;
    std::string_view input = Text(data + 1, size - 1);
    const SettingsLayoutTable layout = LayoutFrom(input);
    const std::string content(input);
    const std::string title = own_title ? content.substr(0, content.find('\r')) : std::string("NEXAVO7300QB");

    BackupFileReader reader(content);
    const bool titled = reader.StartsWithTitle(title);
    Require(titled == (content.find('\r') != std::string::npos && content.compare(0, title.size(), title) == 0 &&
                       content[title.size()] == '\r'),
            "the title is the first line exactly");
    if (!titled)
        return;
    SettingsTable table;
    std::string item;
    bool whole = true;
    std::size_t taken = 0;
    for (int b = 1; b <= layout.BlockCount && whole; ++b)
        for (int i = 1; i <= layout.Items(b) && whole; ++i) {
            whole = reader.NextItem(item);
            if (whole) {
                Require(item.find('\r') == std::string::npos, "an item holds no CR");
                taken += item.size() + 2;
                table.SetItem(b, i, item);
            }
        }
    Require(taken <= content.size() + 1, "items come from the file");
    // A file written from what was read reads back to the same items.
    if (whole) {
        BackupFileReader again(FormatBackupFile(title, table, layout));
        Require(again.StartsWithTitle(title), "a written file starts with its title");
        for (int b = 1; b <= layout.BlockCount; ++b)
            for (int i = 1; i <= layout.Items(b); ++i)
                Require(again.NextItem(item) && item == table.Item(b, i), "a written file reads back");
    }
}

// A layout, then the old backup's lines after the title, dealt out and converted as the
// re-laying does; the value rules are checked on every item.
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
            if (b == settings::kRecordBlock && converted != item) {
                // Only fields 7 and 11 change, and only from 65535 to -1.
                auto fields = [](std::string_view r) {
                    std::vector<std::string_view> f = {r.substr(0, r.find('\x01'))};
                    for (std::size_t p = r.find('\x01'); p != std::string_view::npos; p = r.find('\x01', p + 1))
                        f.push_back(r.substr(p + 1, r.find('\x01', p + 1) - p - 1));
                    return f;
                };
                const auto before = fields(item);
                const auto after = fields(converted);
                Require(before.size() == 11 && after.size() == 11, "a record keeps its eleven fields");
                for (std::size_t f = 0; f < 11; ++f)
                    Require(before[f] == after[f] || ((f == 6 || f == 10) && after[f] == "-1" &&
                                                      ReadLeadingNumber(before[f]) == 65535),
                            "only the unset fields change");
            } else if (converted != item) {
                Require(b == settings::kModeBlock && i == settings::kModeItem && converted == "5" &&
                            ReadLeadingNumber(item) == 4,
                        "only the old mode value changes");
            }
        }
    // The number rule reads as strtol does (clamped to long).
    const std::string text(input.substr(0, 40));
    errno = 0;
    const long expected = std::strtol(text.c_str(), nullptr, 10);
    if (text.find('\0') == std::string::npos && text.find_first_of("\f\v") == std::string::npos)
        Require(ReadLeadingNumber(text) == expected, "numbers read as strtol reads them");
}

}  // namespace verup::fuzz
