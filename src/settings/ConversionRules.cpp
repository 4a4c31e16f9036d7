#include "settings/ConversionRules.h"

#include <cctype>
#include <climits>
#include <vector>

#include "settings/SettingsWords.h"

namespace verup {
namespace {

constexpr char kFieldSeparator = '\x01';
constexpr char kUnsetText[] = "-1";
constexpr long kModeOldValue = 4;
constexpr char kModeNewText[] = "5";

bool IsBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

long ReadLeadingNumber(std::string_view text)
{
    std::size_t p = 0;
    while (p < text.size() && IsBlank(text[p]))
        ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
        negative = text[p] == '-';
        ++p;
    }
    long value = 0;
    for (; p < text.size() && text[p] >= '0' && text[p] <= '9'; ++p) {
        const int digit = text[p] - '0';
        if (value > (LONG_MAX - digit) / 10)
            return negative ? LONG_MIN : LONG_MAX;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

std::string ConvertRecordItem(std::string_view record)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = record.find(kFieldSeparator, start);
        fields.push_back(record.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    if (static_cast<int>(fields.size()) != settings::kRecordFieldCount)
        return std::string(record);
    for (const std::string_view field : fields) {
        if (field.empty() || static_cast<int>(field.size()) > settings::kRecordMaxWordLength)
            return std::string(record);
        for (const char c : field)
            if (IsBlank(c))
                return std::string(record);
    }

    std::string converted;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        if (i > 0)
            converted += kFieldSeparator;
        if ((number == 7 || number == 11) && ReadLeadingNumber(fields[i]) == settings::kRecordUnsetValue)
            converted += kUnsetText;
        else
            converted += fields[i];
    }
    return converted;
}

std::string ApplyConversionRules(int block, int item, std::string text)
{
    if (block == settings::kRecordBlock)
        return ConvertRecordItem(text);
    if (block == settings::kModeBlock && item == settings::kModeItem && ReadLeadingNumber(text) == kModeOldValue)
        return kModeNewText;
    return text;
}

}  // namespace verup
