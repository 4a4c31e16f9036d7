#include "platform/ProfileFile.h"

#include <cstdint>
#include <optional>
#include <unordered_set>
#include <vector>

namespace verup {
namespace {

// The blanks the private-profile functions trim around names and values: the C white space
// and the old end-of-file mark 0x1A.
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '\x1a';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    return true;
}

enum class LineKind { Other, Section, Key };

// One line of the file: [begin, end) is its text without the line ending, next the start of
// the following line.
struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t next = 0;
    LineKind kind = LineKind::Other;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key value, trimmed, quotes not yet stripped
    std::size_t key_end = 0; // offset just after the key's name (before blanks and '=')
};

// The line that starts at `pos` (< content.size()).
Line LineAt(std::string_view content, std::size_t pos)
{
    Line line;
    line.begin = pos;
    const std::size_t brk = content.find_first_of("\r\n", pos);
    line.end = brk == std::string_view::npos ? content.size() : brk;
    line.next = brk == std::string_view::npos                           ? content.size()
                : content[brk] == '\r' && content.substr(brk, 2) == "\r\n" ? brk + 2
                                                                         : brk + 1;
    const std::string_view text = content.substr(line.begin, line.end - line.begin);
    const std::string_view trimmed = Trim(text);
    const std::size_t close = trimmed.rfind(']');
    if (!trimmed.empty() && trimmed.front() == '[' && close != std::string_view::npos) {
        line.kind = LineKind::Section;
        line.name = Trim(trimmed.substr(1, close - 1));
    } else if (const std::size_t eq = text.find('='); eq != std::string_view::npos) {
        line.kind = LineKind::Key;
        line.name = Trim(text.substr(0, eq));
        line.value = Trim(text.substr(eq + 1));
        line.key_end = static_cast<std::size_t>(line.name.data() - content.data()) + line.name.size();
    }
    return line;
}

std::vector<Line> SplitLines(const std::string& content)
{
    std::vector<Line> lines;
    for (std::size_t pos = 0; pos < content.size(); pos = lines.back().next)
        lines.push_back(LineAt(content, pos));
    return lines;
}

std::string Folded(std::string_view section, std::string_view key)
{
    std::string name;
    name.reserve(section.size() + 1 + key.size());
    for (char c : section)
        name += FoldAscii(c);
    name += '\n';
    for (char c : key)
        name += FoldAscii(c);
    return name;
}

// Index range [first, last) of the lines of the first appearance of `section` (the lines
// after its header up to the next header).
struct SectionRange {
    std::size_t header = 0;
    std::size_t first = 0;
    std::size_t last = 0;
};

std::optional<SectionRange> FindSection(const std::vector<Line>& lines, std::string_view section)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind != LineKind::Section || !SameName(lines[i].name, section))
            continue;
        SectionRange range{i, i + 1, i + 1};
        while (range.last < lines.size() && lines[range.last].kind != LineKind::Section)
            ++range.last;
        return range;
    }
    return std::nullopt;
}

std::optional<std::size_t> FindKey(const std::vector<Line>& lines, const SectionRange& range, std::string_view key)
{
    for (std::size_t i = range.first; i < range.last; ++i)
        if (lines[i].kind == LineKind::Key && SameName(lines[i].name, key))
            return i;
    return std::nullopt;
}

std::string_view StripQuotes(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

ProfileSnapshot ProfileSnapshot::Parse(std::string_view content)
{
    ProfileSnapshot snapshot;
    if (content.size() > kMaxProfileFileBytes) {
        snapshot.status_ = Status::TooLarge;
        return snapshot;
    }
    snapshot.status_ = Status::Read;
    // Keys before the first header belong to the section named "".
    std::string section = Folded({}, {});  // folded name and '\n' of the section being read
    std::unordered_set<std::string> sections_seen{section};
    bool reading = true;  // inside the first appearance of a section
    for (std::size_t pos = 0; pos < content.size();) {
        const Line line = LineAt(content, pos);
        pos = line.next;
        if (line.kind == LineKind::Section) {
            section = Folded(line.name, {});
            reading = sections_seen.insert(section).second;
        } else if (line.kind == LineKind::Key && reading) {
            std::string name = section;
            for (char c : line.name)
                name += FoldAscii(c);
            snapshot.values_.try_emplace(std::move(name), StripQuotes(line.value));
        }
    }
    return snapshot;
}

void ProfileSnapshot::Add(std::string_view section, std::string_view key, std::string value)
{
    status_ = Status::Read;
    values_.try_emplace(Folded(section, key), std::move(value));
}

const std::string* ProfileSnapshot::Find(std::string_view section, std::string_view key) const
{
    const auto it = values_.find(Folded(Trim(section), Trim(key)));
    return it == values_.end() ? nullptr : &it->second;
}

int ProfileSnapshot::GetInt(std::string_view section, std::string_view key, int def) const
{
    const std::string* value = Find(section, key);
    if (value == nullptr || value->empty())
        return def;
    // The functions read at most 29 characters into their buffer, then convert as
    // RtlUnicodeStringToInteger with base 0 does: leading control characters and blanks, a
    // sign, a "0x", "0o" or "0b" prefix, then the digits of that base; 32-bit wrap-around.
    std::string_view text = std::string_view(*value).substr(0, 29);
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
        text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    uint32_t base = 10;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'o' || text[1] == 'b')) {
        base = text[1] == 'x' ? 16 : text[1] == 'o' ? 8 : 2;
        text.remove_prefix(2);
    }
    uint32_t result = 0;
    for (const char c : text) {
        uint32_t digit = base;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'z')
            digit = static_cast<uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'Z')
            digit = static_cast<uint32_t>(c - 'A' + 10);
        if (digit >= base)
            break;
        result = result * base + digit;
    }
    if (negative)
        result = 0u - result;
    return static_cast<int>(result);
}

std::string ProfileSnapshot::GetString(std::string_view section, std::string_view key, std::string_view def,
                                       std::size_t buffer_size) const
{
    if (buffer_size == 0)
        return std::string();
    const std::string* value = Find(section, key);
    std::string result = value ? *value : std::string(def);
    if (result.size() > buffer_size - 1)
        result.resize(buffer_size - 1);
    return result;
}

bool ProfileSnapshot::HasKey(std::string_view section, std::string_view key) const
{
    return Find(section, key) != nullptr;
}

bool IsProfileEntry(std::string_view section, std::string_view key, std::string_view value)
{
    return !Trim(section).empty() && !Trim(key).empty() && !HasLineBreak(section) && !HasLineBreak(key) &&
           !HasLineBreak(value) && key.find('=') == std::string_view::npos;
}

std::string ProfileWithString(const std::string& content, std::string_view section, std::string_view key,
                              std::string_view value)
{
    section = Trim(section);
    key = Trim(key);
    const auto lines = SplitLines(content);
    // New lines end as the file's first line does.
    const std::size_t first_end = content.find_first_of("\r\n");
    const std::string eol = first_end == std::string::npos         ? "\n"
                            : content.compare(first_end, 2, "\r\n") == 0 ? "\r\n"
                                                                    : content.substr(first_end, 1);

    std::string updated;
    if (const auto range = FindSection(lines, section)) {
        if (const auto index = FindKey(lines, *range, key)) {
            const Line& line = lines[*index];
            // Keep the line's leading blanks and key spelling; replace from the '=' on.
            updated = content.substr(0, line.key_end);
            updated += '=';
            updated += value;
            updated += content.substr(line.end);
        } else {
            // After the section's last non-empty line, so blank separator lines stay below.
            std::size_t after = range->header;
            for (std::size_t i = range->first; i < range->last; ++i)
                if (!Trim(std::string_view(content.data() + lines[i].begin, lines[i].end - lines[i].begin)).empty())
                    after = i;
            const Line& anchor = lines[after];
            std::size_t insert_at = anchor.next;
            std::string added;
            if (anchor.next == anchor.end)  // last line without a line ending
                added += eol;
            added += std::string(key) + "=" + std::string(value) + eol;
            updated = content.substr(0, insert_at) + added + content.substr(insert_at);
        }
    } else {
        updated = content;
        if (!updated.empty() && updated.back() != '\n' && updated.back() != '\r')
            updated += eol;
        updated += "[" + std::string(section) + "]" + eol;
        updated += std::string(key) + "=" + std::string(value) + eol;
    }
    return updated;
}

}  // namespace verup
