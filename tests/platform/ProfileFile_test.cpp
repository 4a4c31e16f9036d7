#include "platform/ProfileFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "support/TempDir.h"

namespace verup {
namespace {

class ProfileFileTest : public ::testing::Test {
protected:
    ProfileFile Make(std::string_view content) { return ProfileFile(dir.Write("verup.dat", content)); }
    std::string Content() const { return dir.Read("verup.dat"); }
    test::TempDir dir;
};

// Awkward files (hexadecimal-looking and overlong integers, quotes, blanks of every kind,
// duplicates, brackets without their pair, CR-only and LF-only lines) and what the Windows
// functions answer for them, one "SECTION|KEY|text|integer" line per question, the text read
// with the default "<absent>" and the integer with -7. The Windows build runs the same test
// against the real functions, which keeps the answers honest.
std::vector<std::string> AnswerFiles()
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(VERUP_SOURCE_DIR) + "/tests/data/profile"))
        if (entry.path().extension() == ".answers")
            names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ProfileAnswersTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ProfileAnswersTest, ReadsAsTheWindowsFunctionsDo)
{
    const std::string base = std::string(VERUP_SOURCE_DIR) + "/tests/data/profile/" + GetParam();
    const ProfileFile file(base + ".ini");
    std::ifstream answers(base + ".answers", std::ios::binary);
    std::string line;
    int questions = 0;
    while (std::getline(answers, line)) {
        const std::size_t a = line.find('|');
        const std::size_t b = line.find('|', a + 1);
        const std::size_t c = line.rfind('|');
        ASSERT_TRUE(a != std::string::npos && b != std::string::npos && c > b) << line;
        const std::string section = line.substr(0, a), key = line.substr(a + 1, b - a - 1);
        SCOPED_TRACE("[" + section + "] " + key);
        EXPECT_EQ(file.GetString(section, key, "<absent>", 256), line.substr(b + 1, c - b - 1));
        EXPECT_EQ(file.GetInt(section, key, -7), std::stoi(line.substr(c + 1)));
        ++questions;
    }
    EXPECT_GT(questions, 0);
}

INSTANTIATE_TEST_SUITE_P(Files, ProfileAnswersTest, ::testing::ValuesIn(AnswerFiles()),
                         [](const auto& info) { return info.param; });

TEST_F(ProfileFileTest, WriteChangesOnlyThatLineAndKeepsEverythingElse)
{
    const std::string before = "; verup configuration\r\n[MODE]\r\nDEBUG=0   \r\n[PORTSEL]\r\n  Port = 0\r\nCOM=3\r\n\r\n"
                               "[IPADDR]\r\nFIELD=192.168.0.1\r\n";
    auto file = Make(before);
    ASSERT_TRUE(file.WriteString("portsel", "COM", "10"));
    ASSERT_TRUE(file.WriteString("PORTSEL", "PORT", "1"));
    std::string after = before;
    after.replace(after.find("  Port = 0"), 10, "  Port=1");
    after.replace(after.find("COM=3"), 5, "COM=10");
    EXPECT_EQ(Content(), after);
}

TEST_F(ProfileFileTest, WriteAddsKeysAndSectionsInTheFilesLineEnds)
{
    auto file = Make("[PORTSEL]\r\nPORT=0\r\n\r\n[MODE]\r\nDEBUG=0");
    ASSERT_TRUE(file.WriteString("PORTSEL", "COM", "2"));
    ASSERT_TRUE(file.WriteString("MODE", "SEL", "1"));
    ASSERT_TRUE(file.WriteString("IPADDR", "FIELD", "10.0.0.2"));
    EXPECT_EQ(Content(), "[PORTSEL]\r\nPORT=0\r\nCOM=2\r\n\r\n[MODE]\r\nDEBUG=0\r\nSEL=1\r\n[IPADDR]\r\nFIELD=10.0.0.2\r\n");

    auto lf = Make("[A]\nX=1\n");
    ASSERT_TRUE(lf.WriteString("B", "Y", "2"));
    EXPECT_EQ(Content(), "[A]\nX=1\n[B]\nY=2\n");
    ProfileFile fresh(dir.File("new.dat"));
    ASSERT_TRUE(fresh.WriteString("IPADDR", "FIELD", "1.2.3.4"));
    EXPECT_EQ(dir.Read("new.dat"), "[IPADDR]\nFIELD=1.2.3.4\n");
}

TEST_F(ProfileFileTest, WriteKeepsCp932BytesAndPermissionsAndRefusesLineBreaks)
{
    const std::string name = "\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93";  // バージョン
    auto file = Make("[VERUP]\r\nNAME1=" + name + "\r\n");
    ::chmod(file.Path().c_str(), 0640);
    ASSERT_TRUE(file.WriteString("VERUP", "NAME2", name + "\x81\x40"));
    EXPECT_EQ(file.GetString("VERUP", "NAME2", "", 260), name + "\x81\x40");
    struct stat st {};
    ASSERT_EQ(::stat(file.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    const std::string kept = Content();
    EXPECT_FALSE(file.WriteString("VERUP", "NAME1", "a\r\n[MODE]"));
    EXPECT_FALSE(file.WriteString("VERUP", "A=B", "1"));
    EXPECT_FALSE(file.WriteString("", "A", "1"));
    EXPECT_EQ(Content(), kept);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << "no temporary file stays";
}

TEST_F(ProfileFileTest, FilesBeyondTheLimitReadAsAbsentAndAreNeverRewritten)
{
    std::string content = "[S]\nK=1\n";
    content.resize(kMaxProfileFileBytes, ';');
    auto file = Make(content);
    EXPECT_EQ(file.GetInt("S", "K", 7), 1);

    content += ';';
    file = Make(content);
    EXPECT_EQ(file.GetInt("S", "K", 7), 7);
    EXPECT_FALSE(file.WriteString("S", "K", "2"));
    EXPECT_EQ(Content(), content);
}

}  // namespace
}  // namespace verup
