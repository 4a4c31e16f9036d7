#include "image/ImageFiles.h"

#include <filesystem>
#include <fstream>
#include <limits>

#include "image/ImageLimits.h"

namespace verup {

namespace {

constexpr char END_OF_FILE_MARK = 0x1A;

bool IsWordSeparator(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::uint32_t GetImageFileSize(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return 0;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return 0;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec)
        return 0;
    return size > std::numeric_limits<std::uint32_t>::max() ? std::numeric_limits<std::uint32_t>::max()
                                                            : static_cast<std::uint32_t>(size);
}

// Example of a boot or FPGA file as read here (LF-only ends and blank lines are fine):
//   S00600004844521B\n
//   \n
//   S1130000285F245F2212226A000424290008237C2A\n
//   S9030000FC\n
LineLoadResult LoadImageLines(const std::string& path, LineTable& table)
{
    LineLoadResult result;
    std::error_code ec;
    std::ifstream file(path, std::ios::binary);
    if (!file || std::filesystem::is_directory(path, ec)) {
        result.Reason = "cannot open " + path;
        return result;
    }

    std::vector<std::string> words;
    std::vector<std::size_t> lines;
    std::string word;
    std::size_t line = 1;
    std::size_t column = 1;
    std::size_t word_column = 0;

    auto refuse = [&](std::size_t at_line, std::size_t at_column, std::string expected, std::string found) {
        result.Count = LINES_REFUSED;
        result.Error = ConversionError{at_line, at_column, std::move(expected), std::move(found)};
        result.Reason = path + " " + result.Error->Describe();
        return result;
    };
    // Ends the current word; false when the table cannot take it.
    auto finish_word = [&]() {
        if (word.empty())
            return true;
        if (words.size() == table.Capacity())
            return false;
        words.push_back(word);
        lines.push_back(line);
        word.clear();
        return true;
    };

    char buffer[8192];
    bool at_end = false;
    while (!at_end && file) {
        file.read(buffer, sizeof buffer);
        const std::streamsize got = file.gcount();
        if (got <= 0)
            break;
        for (std::streamsize i = 0; i < got; ++i) {
            const char c = buffer[i];
            if (c == END_OF_FILE_MARK) {
                at_end = true;
                break;
            }
            if (IsWordSeparator(c)) {
                if (!finish_word())
                    return refuse(line, word_column, "at most " + std::to_string(table.Capacity()) + " lines",
                                  "line " + std::to_string(table.Capacity() + 1));
            } else {
                if (c == '\0')
                    return refuse(line, column, "a text character", DescribeByte(0));
                if (word.empty())
                    word_column = column;
                if (word.size() == table.MaxWordLength())
                    return refuse(line, word_column,
                                  "a line of at most " + std::to_string(table.MaxWordLength()) + " characters",
                                  "a longer line");
                word.push_back(c);
            }
            if (c == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
    }
    if (!finish_word())
        return refuse(line, word_column, "at most " + std::to_string(table.Capacity()) + " lines",
                      "line " + std::to_string(table.Capacity() + 1));
    if (file.bad()) {
        result.Reason = "cannot read " + path;
        return result;
    }

    std::vector<std::string_view> views(words.begin(), words.end());
    if (!table.Assign(views, lines))
        return refuse(line, column, "lines the table can hold", "more");
    result.Count = static_cast<int>(words.size());
    return result;
}

ProgramTextResult LoadProgramText(const std::string& path, std::string& buffer)
{
    ProgramTextResult result;
    const std::uint32_t size = GetImageFileSize(path);
    std::ifstream file(path, std::ios::binary);
    std::error_code ec;
    if (!file || std::filesystem::is_directory(path, ec)) {
        result.Reason = "cannot open " + path;
        return result;
    }
    if (size > MAX_IMAGE_TEXT_BYTES) {
        result.Reason = path + " is larger than " + std::to_string(MAX_IMAGE_TEXT_BYTES) + " bytes";
        return result;
    }
    buffer.assign(size, '\0');
    file.read(buffer.data(), static_cast<std::streamsize>(size));
    buffer.resize(static_cast<std::size_t>(file.gcount()));
    int count = 0;
    for (std::size_t i = 0; i + 1 < buffer.size(); ++i) {
        if (buffer[i] == '\r' && buffer[i + 1] == '\n') {
            ++count;
            ++i;
        }
    }
    result.Count = count;
    result.Read = true;
    return result;
}

}  // namespace verup
