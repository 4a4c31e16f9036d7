// Replays every input kept under fuzz/corpus-regressions/<target>/ through that fuzz target's
// body (which aborts on a broken invariant; the sanitizer builds catch out-of-bounds access
// and races). A target's folder holds its seeds, its minimised corpus and every input that
// ever found a fault.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../../fuzz/ImageFuzzTargets.h"
#include "../../fuzz/InputFuzzTargets.h"

namespace {

using namespace verup::fuzz;

struct Target {
    const char* folder;
    void (*body)(const std::uint8_t*, std::size_t);
};

const Target kTargets[] = {{"convert", ConvertOne},   {"lines", LoadLinesOne},     {"profile", ProfileOne},
                           {"telnet", TelnetOne},     {"matcher", MatcherOne},     {"getdata", GetdataOne},
                           {"backup", BackupOne},     {"conversion", ConversionOne}};

class FuzzRegression : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzRegression, EveryKeptInputPasses)
{
    const std::filesystem::path dir =
        std::filesystem::path(VERUP_SOURCE_DIR) / "fuzz" / "corpus-regressions" / GetParam().folder;
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    EXPECT_FALSE(files.empty()) << dir;
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        std::ifstream in(file, std::ios::binary);
        const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        GetParam().body(data.data(), data.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzRegression, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.folder); });

}  // namespace
