// The simulated device's model, its package maker and its state file.
#include <gtest/gtest.h>

#include <memory>

#include "Inspection.h"
#include "PackageMaker.h"
#include "SimDevice.h"
#include "image/ImageBuilder.h"
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
    // Writes a proper program carrying `version` into the program areas (as "fromwr" does).
    void WriteProgram(devsim::SimDevice& device, const std::string& version)
    {
        std::vector<uint8_t> image(profile_.ProgramBytes(), 0xFF);
        const auto bytes = devsim::MakeProgramBytes(version, 8192);
        std::copy(bytes.begin(), bytes.end(), image.begin());
        const uint16_t sum = verup::SumImageWords(image, 0, image.size() - 1);
        const uint16_t word = static_cast<uint16_t>(65536u - sum);
        image[devsim::kChecksumSlot] = static_cast<uint8_t>(word & 0xFF);
        image[devsim::kChecksumSlot + 1] = static_cast<uint8_t>(word >> 8);
        const std::size_t sector = profile_.SectorBytes();
        for (std::size_t k = 0; k * sector < image.size(); ++k)
            device.ReplaceArea(static_cast<int>(k + 1), std::span(image).subspan(k * sector, sector));
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

TEST_F(DevsimModel, RunningVersionIsReadFromTheProgramInFlashAndANewGenerationLaysOutDefaults)
{
    auto options = Quick();
    options.FirmwareVersion = "Version 1.05";
    auto device = PowerOn(options);
    WriteProgram(*device, "Version 1.20 3");
    EXPECT_EQ(device->VersionText(), "Version 1.05 3") << "the running firmware does not change until a restart";
    RestartNow(*device);
    EXPECT_EQ(device->Mode(), RunMode::Firmware);
    EXPECT_EQ(device->VersionText(), "Version 1.20 3");
    EXPECT_EQ(*device->SavedSettings(), devsim::DefaultSettings(profile_.NewLayout, true));
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

    // A correct sum without a version text is no program either.
    for (int a = 1; a <= profile_.Cfg.MAIN; ++a)
        device->EraseArea(a);
    RestartNow(*device);
    EXPECT_EQ(device->FlashChecksum(), 0);
    EXPECT_EQ(device->Mode(), RunMode::Monitor);
}

TEST_F(DevsimModel, RestartFaultsAndVersionOverride)
{
    auto options = Quick();
    options.Faults.ReturnAfter = 2;
    options.Faults.VersionOverride = "Version 9.99";
    auto device = PowerOn(options);
    EXPECT_EQ(device->VersionText(), "Version 1.10 3") << "no program written yet";
    WriteProgram(*device, "Version 1.20 3");
    RestartNow(*device);
    EXPECT_EQ(device->VersionText(), "Version 9.99");
    EXPECT_TRUE(device->TakeRefusal());
    EXPECT_TRUE(device->TakeRefusal());
    EXPECT_FALSE(device->TakeRefusal());

    auto silent = Quick();
    silent.Faults.NoReturn = true;
    auto gone = PowerOn(silent);
    RestartNow(*gone);
    gone->Tick();
    EXPECT_EQ(gone->Mode(), RunMode::Restarting);
}

TEST_F(DevsimModel, SettingsAreaKeepsItemsWithSeparatorBytes)
{
    devsim::SettingsImage s;
    s.NewLayout = false;
    s.Blocks = {{"a\x01" "b", ""}, {}, {"\xFF\x83\x47"}};
    const auto encoded = devsim::EncodeSettings(s, 65536);
    ASSERT_TRUE(encoded.has_value());
    EXPECT_EQ(encoded->size(), 65536u);
    EXPECT_EQ(devsim::DecodeSettings(*encoded), s);
    EXPECT_FALSE(devsim::DecodeSettings(std::vector<uint8_t>(65536, 0xFF)).has_value());
    s.Blocks = {{std::string(70000, 'x')}};
    EXPECT_FALSE(devsim::EncodeSettings(s, 65536).has_value());
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

TEST_F(DevsimModel, StateFileCarriesFlashAcrossRunsAndInspectionShowsIt)
{
    auto options = Quick();
    options.StatePath = dir_.File("state");
    {
        auto device = PowerOn(options);
        device->PutItem(3, 1, "changed\x01" "here");
        ASSERT_TRUE(device->CommitSettings());
        std::vector<uint8_t> block(profile_.SectorBytes(), 0x5A);
        device->ReplaceArea(29, block);
    }
    auto reader = options;
    reader.ReadOnly = true;
    devsim::SimDevice device(profile_, reader, clock_);
    std::string error;
    ASSERT_TRUE(device.PowerOn(&error, false)) << error;
    EXPECT_EQ(device.Area(29), std::vector<uint8_t>(profile_.SectorBytes(), 0x5A));
    const std::string text = devsim::DescribeDevice(device);
    EXPECT_NE(text.find("program in flash: valid"), std::string::npos) << text;
    EXPECT_NE(text.find("program version text: Version 1.10 3"), std::string::npos);
    EXPECT_NE(text.find("area 29"), std::string::npos);
    EXPECT_NE(text.find("  3.1 = changed\\x01here\n"), std::string::npos);
    ASSERT_TRUE(devsim::DumpArea(device, 29, dir_.File("area29.bin"), &error));
    EXPECT_EQ(verup::test::TempDir::ReadFile(dir_.File("area29.bin")), std::string(profile_.SectorBytes(), 'Z'));

    // Without a state file inspection shows the fresh device, and writes nothing.
    reader.StatePath = dir_.File("missing");
    devsim::SimDevice fresh(profile_, reader, clock_);
    ASSERT_TRUE(fresh.PowerOn(&error, false));
    EXPECT_EQ(*fresh.SavedSettings()->Item(3, 1), "user3.1");
    EXPECT_FALSE(std::filesystem::exists(dir_.File("missing")));
}

}  // namespace
