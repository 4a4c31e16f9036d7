// What every end-to-end update relies on the simulated device for: the settings of a used old
// firmware, a complete package, flash that must be erased, and a program that does not check
// out never running.
#include <gtest/gtest.h>

#include <memory>

#include "PackageMaker.h"
#include "SimDevice.h"
#include "package/ConfigReader.h"
#include "platform/ProfileFile.h"
#include "support/TempDir.h"

namespace {

using devsim::RunMode;

class DevsimModel : public ::testing::Test {
protected:
    std::unique_ptr<devsim::SimDevice> PowerOn(devsim::DeviceOptions options)
    {
        auto device = std::make_unique<devsim::SimDevice>(profile_, std::move(options), clock_);
        std::string error;
        EXPECT_TRUE(device->PowerOn(&error)) << error;
        return device;
    }
    static void RestartNow(devsim::SimDevice& device)
    {
        device.Restart(false);
        device.Tick();
    }

    verup::test::TempDir dir_;
    verup::Clock clock_{50};
    devsim::DeviceProfile profile_ = devsim::DeviceProfile::Demo();
};

devsim::DeviceOptions Quick()
{
    devsim::DeviceOptions o;
    o.RestartMs = 0;
    return o;
}

TEST_F(DevsimModel, FreshOldFirmwareHoldsUsedSettingsInTheOldLayout)
{
    auto options = Quick();
    options.FirmwareVersion = "Version 1.05";
    options.Revision = 2;
    auto device = PowerOn(options);
    EXPECT_EQ(device->Mode(), RunMode::Firmware);
    EXPECT_EQ(device->VersionText(), "Version 1.05 2");
    const auto saved = device->SavedSettings();
    ASSERT_TRUE(saved.has_value());
    EXPECT_FALSE(saved->NewLayout);
    EXPECT_EQ(saved->BlockCount(), profile_.OldLayout.BlockCount);
    // The values the conversion rules rewrite: 4 in block 19 item 2, 65535 in block 37.
    EXPECT_EQ(*saved->Item(19, 2), "4");
    EXPECT_NE(saved->Item(37, 1)->find("\x01" "65535\x01"), std::string::npos);
    EXPECT_NE(*saved, devsim::DefaultSettings(profile_.OldLayout, false));
}

TEST_F(DevsimModel, InvalidProgramLeavesTheDeviceInItsMonitor)
{
    auto device = PowerOn(Quick());
    // A half-written program: the first sector only, over an erased rest, sum not zero.
    std::vector<uint8_t> sector = devsim::MakeProgramBytes("Version 1.30 1", profile_.SectorBytes());
    for (int a = 1; a <= profile_.Cfg.MAIN; ++a)
        device->EraseArea(a);
    device->ReplaceArea(1, sector);
    RestartNow(*device);
    EXPECT_EQ(device->Mode(), RunMode::Monitor);
    EXPECT_NE(device->FlashChecksum(), 0);
    // Flash bits only go from 1 to 0: a write over unerased flash leaves what both hold.
    ASSERT_TRUE(device->ReplaceArea(2, std::vector<uint8_t>{0xF0}));
    ASSERT_TRUE(device->ProgramArea(2, 0, std::vector<uint8_t>{0x3C}));
    EXPECT_EQ(device->Area(2)[0], 0x30);

    // A correct sum without a version text is no program either.
    for (int a = 1; a <= profile_.Cfg.MAIN; ++a)
        device->EraseArea(a);
    RestartNow(*device);
    EXPECT_EQ(device->FlashChecksum(), 0);
    EXPECT_EQ(device->Mode(), RunMode::Monitor);
}

TEST_F(DevsimModel, PackageIsWhatTheToolReads)
{
    std::string error;
    ASSERT_TRUE(devsim::WritePackage(dir_.Path(), devsim::PackageOptions{}, &error)) << error;
    verup::Config cfg;
    const verup::ProfileFile file(dir_.File("verup.dat"));
    verup::ReadConfig(file, cfg);
    EXPECT_TRUE(cfg.DefaultedKeys.empty()) << cfg.DefaultedKeys.front();
    const auto n_save = verup::ReadSettingsLayout(file, "N_SAVE");
    const auto o_save = verup::ReadSettingsLayout(file, "O_SAVE");
    const auto c_data = verup::ReadSettingsLayout(file, "C_DATA");
    EXPECT_GE(n_save.Items(19), 2);
    EXPECT_GE(n_save.Items(37), 1);
    // The conversion deals every old line out: C_DATA takes as many lines as O_SAVE holds.
    int old_lines = 0, dealt = 0;
    for (int b = 1; b <= o_save.BlockCount; ++b)
        old_lines += o_save.Items(b);
    for (int b = 1; b <= c_data.BlockCount; ++b)
        dealt += c_data.Items(b);
    EXPECT_EQ(old_lines, dealt);

    // The images it makes are checked against the device by every whole update.
}

}  // namespace
