// The layout rules every package passes before an update erases anything (the command line's
// tests refuse a damaged package on both roads), and a program whose last record straddles
// two sectors written on both roads.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "image/ImagePreflight.h"
#include "image/SRecordWriter.h"
#include "support/ImageTestConfig.h"
#include "support/SimUpdateFixture.h"

namespace verup {
namespace {

// ---------------------------------------------------------------- the layout rules

TEST(ProgramLayout, SectorsOfTheDownloadMustCoverTheProgramAreaInMainAreas)
{
    Config cfg = test::ImageTestConfig();  // a program area of 0x40000 bytes
    cfg.MAIN = 4;
    EXPECT_EQ(CheckProgramLayout(cfg), "");
    // 32 KiB pieces for 64 KiB areas: four areas would get half the program.
    cfg.SECT_END_ADR = 0x7FFF;
    EXPECT_NE(CheckProgramLayout(cfg).find("takes 8 sectors of 0x8000 bytes (SECT_END_ADR + 1), but MAIN 4"),
              std::string::npos)
        << CheckProgramLayout(cfg);
    // The same pieces with areas of their size.
    cfg.MAIN = 8;
    EXPECT_EQ(CheckProgramLayout(cfg), "");
    cfg.MAIN = 0;
    EXPECT_NE(CheckProgramLayout(cfg), "");
}

TEST(ProgramLayout, ProgramSectorsStayInTheirAreas)
{
    Config cfg = test::ImageTestConfig();
    cfg.MAIN = 4;
    cfg.FPGA = 4;  // the last program area doubles as the FPGA area
    cfg.DATA = 30;
    EXPECT_EQ(CheckProgramSectors(cfg, 3), "");
    EXPECT_NE(CheckProgramSectors(cfg, 4).find("FPGA area 4"), std::string::npos);
    cfg.FPGA = 5;
    EXPECT_EQ(CheckProgramSectors(cfg, 4), "");
    EXPECT_NE(CheckProgramSectors(cfg, 5).find("MAIN 4 gives it areas 1 ... 4"), std::string::npos);
    cfg.DATA = 2;
    EXPECT_NE(CheckProgramSectors(cfg, 2).find("data area 2"), std::string::npos);
}

// ---------------------------------------------------------------- both roads, end to end

enum class Link { Serial, Lan };

constexpr int kDevicePort = 3;

void PrintTo(Link link, std::ostream* out) { *out << (link == Link::Lan ? "LAN" : "serial"); }

class StraddlingRecordTest : public test::SimUpdateFixture, public ::testing::WithParamInterface<Link> {
protected:
    StraddlingRecordTest()
        : SimUpdateFixture(GetParam() == Link::Lan ? 100 : 50, GetParam() == Link::Lan ? Road::Lan : Road::Serial)
    {
    }
    ~StraddlingRecordTest() override { CloseAndReportLogs(); }
    bool StartUp() override { return StartUpOnRoad(kDevicePort); }
};

// The last record starts 8 bytes before the end of sector 2 and carries 16 bytes: its tail is
// the first 8 bytes of sector 3, which must reach the device for its program sum to hold.
TEST_P(StraddlingRecordTest, TailOfTheLastRecordReachesTheNextSector)
{
    constexpr std::size_t kSector = 0x10000;
    package_options_.ProgramSize = 2 * kSector + 8;  // MAIN 3
    package_options_.Save = 0;
    StartDevice();
    const std::vector<std::uint8_t> program =
        devsim::MakeProgramBytes(package_options_.Version + " " + std::to_string(package_options_.Revision),
                                 2 * kSector + 8);
    SRecordWriter writer("rt00", 32);
    const std::size_t split = 2 * kSector - 8;
    writer.AddData(devsim::kProgramRamStart, std::span(program).first(split));
    writer.AddData(devsim::kProgramRamStart + static_cast<std::uint32_t>(split), std::span(program).subspan(split));
    package_.Write("rt00.mot", writer.Finish(devsim::kProgramRamStart));

    Update();
    EXPECT_EQ(dlg_->UpdatePackage().SectorCount(), 3);
    EXPECT_EQ(dlg_->UpdateOutcome(), CUpdateDlg::Outcome::Done) << Log();
    const auto area3 = sim_->Device().Area(3);
    ASSERT_GE(area3.size(), 8u);
    EXPECT_TRUE(std::equal(area3.begin(), area3.begin() + 8, program.begin() + 2 * kSector));
    EXPECT_EQ(sim_->Device().FlashChecksum(), 0);
    ExpectImagesWritten();
}

INSTANTIATE_TEST_SUITE_P(BothRoads, StraddlingRecordTest, ::testing::Values(Link::Serial, Link::Lan),
                         [](const auto& info) { return std::string(info.param == Link::Lan ? "Lan" : "Serial"); });

}  // namespace
}  // namespace verup
