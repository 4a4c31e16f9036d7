// The check every image passes before an update erases anything: the shared verdict itself,
// and both roads end to end against the simulated device with a damaged package.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "image/ImagePreflight.h"
#include "image/SRecordWriter.h"
#include "app/DialogTexts.h"
#include "lan/TelnetLink.h"
#include "platform/PosixSerialPort.h"
#include "serial/SerialLink.h"
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

// The file's line `line` (1-based) with `edit` applied to it.
void EditLine(test::TempDir& dir, const char* file, std::size_t line, const std::function<void(std::string&)>& edit)
{
    std::string text = dir.Read(file);
    std::size_t at = 0;
    for (std::size_t n = 1; n < line; ++n)
        at = text.find('\n', at) + 1;
    const std::size_t end = text.find('\n', at) + 1;
    std::string record = text.substr(at, end - at);
    edit(record);
    text.replace(at, end - at, record);
    dir.Write(file, text);
}

// verup.dat with the line "KEY=..." replaced by `edit`.
void SetKey(test::TempDir& dir, const std::string& edit)
{
    std::string dat = dir.Read("verup.dat");
    const std::string key = "\n" + edit.substr(0, edit.find('=') + 1);
    const std::size_t at = dat.find(key) + 1;
    ASSERT_NE(at, 0u) << key;
    dat.replace(at, dat.find('\r', at) - at, edit);
    dir.Write("verup.dat", dat);
}

struct BrokenPackage {
    const char* name;
    std::size_t program_size;
    // Applied once the device runs: what the tool reads, not what the device is.
    std::function<void(test::TempDir&)> damage;
    const char* reason;  // what the log and the window say
};

void PrintTo(const BrokenPackage& broken, std::ostream* out) { *out << broken.name; }
void PrintTo(Link link, std::ostream* out) { *out << (link == Link::Lan ? "LAN" : "serial"); }

// A wrong record sum is refused through the command line, beside `verup images`.
const BrokenPackage kBrokenPackages[] = {
    {"FpgaWithoutTermination", 100 * 1024,
     [](auto& dir) {
         std::string text = dir.Read("fpga02.mot");
         text.erase(text.rfind("S7"));
         dir.Write("fpga02.mot", text);
     },
     "fpga02.mot: line 258, column 1: expected a termination record (S7, S8 or S9), found end of text"},
    // Record 3000 is line 3001, after the header.
    {"DataAfterTermination", 100 * 1024,
     [](auto& dir) { EditLine(dir, "rt00.mot", 3001, [](std::string& r) { r += "S9030000FC\r\n"; }); },
     "rt00.mot: line 3003, column 1: expected no data record after the termination record, found an S3 record"},
    {"RecordTypeS4", 100 * 1024,
     [](auto& dir) { EditLine(dir, "rt00.mot", 10, [](std::string& r) { r += "S4030000FC\r\n"; }); },
     "rt00.mot: line 11, column 2: expected record type 0, 1, 2, 3, 5, 6, 7, 8 or 9, found S4"},
    // The device has four program areas; the package gives the program two of them.
    {"MoreSectorsThanProgramAreas", 200 * 1024,
     [](auto& dir) { SetKey(dir, "MAIN=2"); },
     "rt00.mot: the program needs sectors 1 ... 4 but MAIN 2 gives it areas 1 ... 2"},
    // Pieces of 32 KiB for the device's 64 KiB areas.
    {"SectorSizeOfAnotherUnit", 200 * 1024,
     [](auto& dir) { SetKey(dir, "SECT_END_ADR=0x7FFF"); },
     "verup.dat: the program area of 0x40000 bytes (PROG_RAM_STR_ADR ... PROG_RAM_END_ADR) takes 8 sectors of "
     "0x8000 bytes"},
};

class PreflightRoadTest : public test::SimUpdateFixture {
protected:
    explicit PreflightRoadTest(Link road)
        : SimUpdateFixture(road == Link::Lan ? 100 : 50, road == Link::Lan ? SimUpdateFixture::Road::Lan
                                                                           : SimUpdateFixture::Road::Serial),
          road_(road)
    {
        package_options_.Save = 2;
    }
    ~PreflightRoadTest() override
    { CloseAndReportLogs(); }

    bool StartUp() override { return StartUpOnRoad(kDevicePort); }

    std::vector<std::vector<std::uint8_t>> Flash()
    {
        std::vector<std::vector<std::uint8_t>> areas;
        for (int area = 0; area < devsim::SimDevice::kAreaCount; ++area)
            areas.push_back(sim_->Device().Area(area));
        return areas;
    }
    // Commands since entry `from` of the device's log that begin with one of `prefixes`.
    int DeviceCommands(std::size_t from, const std::vector<std::string>& prefixes)
    {
        const auto log = sim_->Device().CommandLog();
        int n = 0;
        for (std::size_t i = from; i < log.size(); ++i)
            for (const auto& prefix : prefixes)
                for (const char* road : {"serial: ", "telnet: "})
                    n += log[i].rfind(road + prefix, 0) == 0 ? 1 : 0;
        return n;
    }

    Link road_;
};

class BrokenPackageTest : public PreflightRoadTest,
                          public ::testing::WithParamInterface<std::tuple<Link, BrokenPackage>> {
protected:
    BrokenPackageTest() : PreflightRoadTest(std::get<0>(GetParam())) {}
};

TEST_P(BrokenPackageTest, IsRefusedBeforeTheDeviceIsTouched)
{
    const BrokenPackage& broken = std::get<1>(GetParam());
    package_options_.ProgramSize = broken.program_size;
    StartDevice();
    broken.damage(package_);
    const auto flash = Flash();
    ASSERT_TRUE(StartUp()) << StartupMessage();
    const std::size_t startup_commands = sim_->Device().CommandLog().size();
    dlg_->OnStart();
    dlg_->JoinWorker();

    EXPECT_EQ(dlg_->UpdateOutcome.load(), CUpdateDlg::Outcome::Failed);
    EXPECT_EQ(dlg_->StatusText(), kStatusFailed);
    EXPECT_NE(Log().find(broken.reason), std::string::npos) << Log();
    ASSERT_FALSE(dlg_->ImagesRefusal.empty());
    EXPECT_NE(dlg_->NoticeText().find(dlg_->ImagesRefusal.front()), std::string::npos) << dlg_->NoticeText();
    // Not a settings save, not an erase, not a byte written; the old firmware runs on.
    EXPECT_EQ(DeviceCommands(startup_commands, {"getdata", "upload", "ATT1", "AT!F1", "ER", "fromer", "DP", "DL", "download"}), 0);
    EXPECT_TRUE(Flash() == flash);
    EXPECT_EQ(sim_->Device().VersionText().substr(0, 12), "Version 1.15");
    EXPECT_FALSE(dlg_->Carrier.BackupWrittenThisRun);
}

INSTANTIATE_TEST_SUITE_P(BothRoads, BrokenPackageTest,
                         ::testing::Combine(::testing::Values(Link::Serial, Link::Lan),
                                            ::testing::ValuesIn(kBrokenPackages)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) == Link::Lan ? "Lan" : "Serial") +
                                    std::get<1>(info.param).name;
                         });

class StraddlingRecordTest : public PreflightRoadTest, public ::testing::WithParamInterface<Link> {
protected:
    StraddlingRecordTest() : PreflightRoadTest(GetParam()) {}
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
    EXPECT_EQ(dlg_->UpdatePackage.SectorCount(), 3);
    EXPECT_EQ(dlg_->UpdateOutcome.load(), CUpdateDlg::Outcome::Done) << Log();
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
