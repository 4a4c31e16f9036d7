// verup-devsim as a program: make-package as the demo script and the end-to-end tests call it.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/Subprocess.h"
#include "support/TempDir.h"

#if defined(DEVSIM_BINARY)

namespace {

using verup::test::RunProgram;
using verup::test::TempDir;

TEST(DevsimCli, MakePackageLeavesOutWhatItIsTold)
{
    TempDir dir;
    const auto run = RunProgram({DEVSIM_BINARY, "make-package", dir.File("pkg"), "--no-fpga", "--version", "Version 1.30"}, {}, dir);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(dir.Read("pkg/verup.dat").find("NUM=Version 1.30\r\n"), std::string::npos);
    EXPECT_NE(dir.Read("pkg/rt00.mot").size(), 0u);
    EXPECT_NE(dir.Read("pkg/from00.mot").size(), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir.File("pkg/fpga01.mot")));
}

}  // namespace

#endif
