// Replays every input kept under fuzz/corpus-regressions through the fuzz targets' bodies
// (which abort on a broken invariant; the sanitizer build catches out-of-bounds access).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../fuzz/ImageFuzzTargets.h"
#include "support/TempDir.h"

namespace {

std::vector<std::filesystem::path> Inputs(const char* target)
{
    std::vector<std::filesystem::path> files;
    const std::filesystem::path dir = std::filesystem::path(VERUP_SOURCE_DIR) / "fuzz" / "corpus-regressions" / target;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    return files;
}

std::vector<std::uint8_t> Bytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(ImageFuzzRegression, ConvertInputs)
{
    const auto files = Inputs("convert");
    EXPECT_FALSE(files.empty());
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        const auto data = Bytes(file);
        verup::fuzz::ConvertOne(data.data(), data.size());
    }
}

TEST(ImageFuzzRegression, LineTableInputs)
{
    const auto files = Inputs("lines");
    EXPECT_FALSE(files.empty());
    verup::test::TempDir scratch;
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        const auto data = Bytes(file);
        verup::fuzz::LoadLinesOne(data.data(), data.size(), scratch.File("input.mot"));
    }
}

}  // namespace
