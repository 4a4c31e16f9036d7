// The update plans as data: for each road and package, the steps in the order the update takes
// them, with the flash areas each erases or writes.
#include <gtest/gtest.h>

#include <string>

#include "protocol/UpdatePlan.h"

namespace verup {
namespace {

struct PlanCase {
    const char* name;
    UpdateRoad road;
    int upload;
    ImagesToWrite writes;
    int main, fpga;
    PlanSettings settings;
    const char* steps;
};
void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.name; }

// "Erase[1,2]" for a step that erases areas 1 and 2; kinds only for steps without areas.
std::string Steps(const UpdatePlan& plan)
{
    static const char* const kNames[] = {"Check",   "Save",  "Monitor", "Erase",   "Download", "Checksum",
                                         "Write",   "Restart", "Version", "Convert", "Restore",  "Confirm"};
    std::string text;
    for (const PlanStep& step : plan.Steps) {
        text += (text.empty() ? "" : " ") + std::string(kNames[static_cast<int>(step.Kind)]);
        for (std::size_t i = 0; i < step.Areas.size(); ++i)
            text += (i == 0 ? "[" : ",") + std::to_string(step.Areas[i]) + (i + 1 == step.Areas.size() ? "]" : "");
    }
    return text;
}

Config PlanConfig(int upload, int main, int fpga)
{
    Config cfg;
    cfg.UPLOAD = upload;
    cfg.MAIN = main;
    cfg.FPGA = fpga;
    cfg.DATA = 30;
    cfg.SECT_END_ADR = 0xFFFF;
    cfg.FPGA_DATA_LEN = 0x8000;
    return cfg;
}

ImagePreflight Images(ImagesToWrite writes, int sectors = 2)
{
    ImagePreflight images;
    images.Writes = writes;
    images.Program.SectorCount = static_cast<std::uint8_t>(writes.Program ? sectors : 0);
    return images;
}

constexpr ImagesToWrite kAll{true, true, true};
constexpr ImagesToWrite kProgram{true, false, false};
constexpr ImagesToWrite kNone{};
const PlanSettings kBlocks{2, true, false, false, false, "N_SAVE", 40, 0};
const PlanSettings kNotCarried{};
const PlanSettings kInMonitor{2, false, false, false, false, "N_SAVE", 40, 0};
const PlanSettings kOldLayout{2, true, true, true, false, "O_SAVE", 30, 10};
const PlanSettings kReset{0, true, false, false, true, "N_SAVE", 40, 0};
const PlanSettings kArea31{1, true, false, false, false, "", 0, 0};

class UpdatePlanTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(UpdatePlanTest, StepsComeInTheRoadsOrder)
{
    const PlanCase& c = GetParam();
    const UpdatePlan plan = PlanUpdate(PlanConfig(c.upload, c.main, c.fpga), Images(c.writes), c.settings, c.road);
    EXPECT_EQ(Steps(plan), c.steps);
    EXPECT_FALSE(plan.Refused());
    for (const PlanStep& step : plan.Steps)
        EXPECT_FALSE(step.Text.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Roads, UpdatePlanTest,
    ::testing::Values(
        // An FPGA area above MAIN is erased with the program and again before its images.
        PlanCase{"SerialEveryImage", UpdateRoad::Serial, 1, kAll, 2, 3, kBlocks,
                 "Check Save Monitor Erase[30] Erase[1,2,3] Download Checksum Write[1,2] Checksum Erase[3] Write[3] "
                 "Write[3] Write[0] Restart Version Restore Confirm"},
        PlanCase{"SerialFoundInMonitor", UpdateRoad::Serial, 1, kAll, 3, 5, kInMonitor,
                 "Check Monitor Erase[30] Erase[1,2,3,4,5] Download Checksum Write[1,2] Checksum Erase[5] Write[5] "
                 "Write[5] Write[0] Restart"},
        // Without FPGA images their area is left alone.
        PlanCase{"SerialProgramOnly", UpdateRoad::Serial, 1, kProgram, 5, 3, kNotCarried,
                 "Check Monitor Erase[30] Erase[1,2,4,5] Download Checksum Write[1,2] Checksum Restart Version"},
        PlanCase{"SerialOldLayout", UpdateRoad::Serial, 1, kProgram, 2, 3, kOldLayout,
                 "Check Save Erase[1] Restart Monitor Erase[1,2] Download Checksum Write[1,2] Checksum Restart "
                 "Version Restart Convert Restore Confirm"},
        PlanCase{"SerialReset", UpdateRoad::Serial, 1, kProgram, 2, 3, kReset,
                 "Check Monitor Erase[30] Erase[1,2] Download Checksum Write[1,2] Checksum Restart Version Restart"},
        PlanCase{"SerialSettingsOnly", UpdateRoad::Serial, 0, kNone, 2, 3, kBlocks, "Save Restore Confirm"},
        PlanCase{"SerialSettingsOnlyInMonitor", UpdateRoad::Serial, 0, kNone, 2, 3, kInMonitor, ""},
        PlanCase{"LanEveryImageArea31", UpdateRoad::Lan, 1, kAll, 2, 3, kArea31,
                 "Check Save[31] Erase[1,2] Erase[30] Write[1,2] Restart Erase[3] Write[3] Write[0] Restart Version "
                 "Restore[31] Confirm[31]"},
        // An FPGA area equal to MAIN is erased by neither step; one below it by the program's.
        PlanCase{"LanFpgaIsMain", UpdateRoad::Lan, 1, kAll, 3, 3, kNotCarried,
                 "Check Erase[1,2] Erase[30] Write[1,2] Restart Write[3] Write[0] Restart Version"},
        PlanCase{"LanFpgaBelowMain", UpdateRoad::Lan, 1, kAll, 4, 3, kBlocks,
                 "Check Save Erase[1,2,3,4] Erase[30] Write[1,2] Restart Write[3] Write[0] Restart Version Restore "
                 "Confirm"},
        PlanCase{"LanSettingsOnlyConverted", UpdateRoad::Lan, 0, kNone, 2, 3, kOldLayout,
                 "Save Convert Restore Confirm"},
        PlanCase{"LanNothing", UpdateRoad::Lan, 0, kNone, 2, 3, kNotCarried, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpdatePlan, AreaListsJoinRuns)
{
    EXPECT_EQ(AreaListText({1, 2, 3, 5, 7, 8}), "1-3, 5, 7, 8");
}

}  // namespace
}  // namespace verup
