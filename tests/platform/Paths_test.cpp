#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "platform/InstanceGuard.h"
#include "support/TempDir.h"

namespace verup {
namespace {

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(Paths, StateFolderFollowsXdgOrElseHome)
{
    const std::string state = std::getenv("XDG_STATE_HOME") ? std::getenv("XDG_STATE_HOME") : "";
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("XDG_STATE_HOME", "/xdg/state", 1);
    EXPECT_EQ(DefaultStateDirectory(), "/xdg/state/verup");
    ::setenv("XDG_STATE_HOME", "relative/ignored", 1);
    ::setenv("HOME", "/home/tester", 1);
    EXPECT_EQ(DefaultStateDirectory(), "/home/tester/.local/state/verup");
    state.empty() ? ::unsetenv("XDG_STATE_HOME") : ::setenv("XDG_STATE_HOME", state.c_str(), 1);
    ::setenv("HOME", home.c_str(), 1);
}

TEST(Paths, PrivateFoldersAreMadeWithMode0700AndForeignOnesRefused)
{
    test::TempDir dir;
    const std::string state = dir.Path() + "/a/b/verup";
    ASSERT_TRUE(EnsurePrivateDirectory(state));
    EXPECT_EQ(ModeOf(state), 0700u);

    const std::string open = dir.Path() + "/open";
    std::filesystem::create_directory(open);
    ::chmod(open.c_str(), 0777);
    EXPECT_FALSE(EnsurePrivateDirectory(open));

    const std::string link = dir.Path() + "/link";
    std::filesystem::create_directory_symlink(state, link);
    EXPECT_FALSE(EnsurePrivateDirectory(link));
}

TEST(Paths, AtomicWritesReplaceWholeFilesOrRefuseToReplaceAndLeaveNoTemporaryFile)
{
    test::TempDir dir;
    const std::string file = dir.File("7300qb.tmp");
    ASSERT_TRUE(WriteFileAtomically(file, "first\r\n"));
    EXPECT_EQ(ModeOf(file), 0600u);
    ASSERT_TRUE(WriteFileAtomically(file, std::string("second\0bytes", 12)));
    EXPECT_EQ(test::TempDir::ReadFile(file), std::string("second\0bytes", 12));
    EXPECT_FALSE(WriteFileAtomically(dir.Path() + "/missing/x", "data"));
    // A new file never replaces another's.
    errno = 0;
    EXPECT_FALSE(WriteFileAtomically(file, "mine", 0600, false));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(test::TempDir::ReadFile(file), std::string("second\0bytes", 12));
    ASSERT_TRUE(WriteFileAtomically(dir.File("free"), "mine", 0600, false));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}

TEST(InstanceGuard, UnusableFolderOrLockFileFailsWithTheReason)
{
    test::TempDir dir;
    const std::string file = dir.Write("not-a-folder", "x");
    std::unique_ptr<InstanceGuard> guard;
    std::string reason;
    EXPECT_EQ(InstanceGuard::Acquire(file, guard, &reason), InstanceGuard::Result::Failed);
    EXPECT_NE(reason.find(file), std::string::npos) << reason;

    const std::string state = dir.Path() + "/state";
    ASSERT_TRUE(EnsurePrivateDirectory(state));
    std::filesystem::create_symlink(dir.Path() + "/target", state + "/7300QB_UPDATE_MUTEX");
    EXPECT_EQ(InstanceGuard::Acquire(state, guard, &reason), InstanceGuard::Result::Failed);
    EXPECT_NE(reason.find("7300QB_UPDATE_MUTEX"), std::string::npos) << reason;
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/target"));
    EXPECT_EQ(guard, nullptr);
}

}  // namespace
}  // namespace verup
