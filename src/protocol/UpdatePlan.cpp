#include "protocol/UpdatePlan.h"

#include <algorithm>

#include "image/ImageLimits.h"
#include "protocol/FlashAreas.h"

namespace verup {
namespace {

constexpr char kCheckText[] = "check that every image converts completely and fits the flash";
constexpr char kRefusedText[] = ": refused, so the update stops here";

std::string Areas(const std::vector<int>& areas)
{
    return (areas.size() == 1 ? "area " : "areas ") + AreaListText(areas);
}

std::string Bytes(std::uint64_t bytes)
{
    return std::to_string(bytes) + " bytes";
}

class PlanBuilder {
public:
    PlanBuilder(const Config& cfg, const ImagePreflight& images, const PlanSettings& settings, UpdatePlan& plan)
        : cfg_(cfg),
          writes_(images.Writes),
          settings_(settings),
          plan_(plan),
          sector_bytes_(static_cast<std::uint64_t>(cfg.SECT_END_ADR) + 1),
          sectors_(images.SectorCount()),
          program_bytes_(static_cast<std::uint64_t>(sectors_) * sector_bytes_)
    {
    }

    void Serial();
    void Lan();

private:
    PlanStep& Add(PlanStepKind kind, std::string text, std::vector<int> areas = {})
    {
        PlanStep step;
        step.Kind = kind;
        step.Areas = std::move(areas);
        step.Text = std::move(text);
        return plan_.Steps.emplace_back(std::move(step));
    }
    void Erase(const std::vector<int>& areas, const std::string& what)
    {
        if (!areas.empty())
            Add(PlanStepKind::Erase, "erase " + Areas(areas) + " (" + what + ")", areas);
    }
    void Write(std::vector<int> areas, std::vector<std::string> images, std::uint64_t bytes, const std::string& text)
    {
        PlanStep& step = Add(PlanStepKind::Write, text, std::move(areas));
        step.Images = std::move(images);
        step.Bytes = bytes;
    }
    std::vector<int> ProgramSectors() const
    {
        std::vector<int> areas;
        for (int k = 1; k <= sectors_; ++k)
            areas.push_back(k);
        return areas;
    }
    std::string LayoutText(int blocks) const
    {
        return settings_.LayoutName + ", " + std::to_string(blocks) + " blocks";
    }
    void SaveBlocks();
    // Converted (when due), written back block by block, stored with the device's restart,
    // and read back.
    void RestoreBlocks();

    const Config& cfg_;
    const ImagesToWrite writes_;
    const PlanSettings& settings_;
    UpdatePlan& plan_;
    const std::uint64_t sector_bytes_;
    const int sectors_;
    const std::uint64_t program_bytes_;
};

void PlanBuilder::SaveBlocks()
{
    PlanStep& step = Add(PlanStepKind::SaveSettings,
                         "save the settings block by block (" + LayoutText(settings_.BlockCount) +
                             ") into a backup file; nothing is erased unless they are saved");
    step.Blocks = settings_.BlockCount;
}

void PlanBuilder::RestoreBlocks()
{
    const int blocks = settings_.BlockCount + (settings_.ConvertOnRestore ? settings_.AddedBlockCount : 0);
    if (settings_.ConvertOnRestore)
        Add(PlanStepKind::ConvertSettings, "re-lay the saved settings for the new firmware (" + settings_.LayoutName +
                                               " -> C_DATA, " + std::to_string(blocks) + " blocks)");
    Add(PlanStepKind::RestoreSettings, "write the settings back (" + std::to_string(blocks) +
                                           " blocks) and store them (savedata restart: the device restarts)")
        .Blocks = blocks;
    Add(PlanStepKind::ConfirmSettings, "read the settings back and compare them with what was written").Blocks = blocks;
}

// The order of the serial update: the shell, the boot monitor's erases and writes, the start of
// the new program, the shell again.
void PlanBuilder::Serial()
{
    const bool firmware = settings_.FirmwareRunning;
    const bool carry = firmware && (settings_.Save == 1 || settings_.Save == 2);
    if (carry)
        SaveBlocks();
    if (firmware && settings_.OldLayoutSave) {
        Add(PlanStepKind::Erase, "erase area 1 from the firmware's shell (fromer 01: the old firmware's settings)",
            {1});
        Add(PlanStepKind::Restart, "restart the device (restart reboot)");
    }
    if (plan_.WritesFirmware) {
        Add(PlanStepKind::EnterMonitor, "send the device to its boot monitor");
        if (!settings_.OldLayoutSave)
            Erase({cfg_.DATA}, "data area");
        if (writes_.Program) {
            // Every area up to the larger of MAIN and FPGA, the FPGA area only when it is written.
            std::vector<int> areas;
            for (int s = 1; s <= std::max(cfg_.MAIN, cfg_.FPGA); ++s)
                if (s != cfg_.FPGA || writes_.Fpga)
                    areas.push_back(s);
            Erase(areas, cfg_.FPGA > cfg_.MAIN ? "main program, up to the FPGA area" : "main program");
            PlanStep& download = Add(PlanStepKind::Download, std::string("send ") + PROGRAM_IMAGE_FILE +
                                                                 " into the boot monitor's RAM");
            download.Images = {PROGRAM_IMAGE_FILE};
            download.Bytes = program_bytes_;
            Add(PlanStepKind::Checksum, "correct the program's checksum word in RAM");
            Write(ProgramSectors(), {PROGRAM_IMAGE_FILE}, program_bytes_,
                  std::string("write ") + PROGRAM_IMAGE_FILE + " into " + Areas(ProgramSectors()) + " (main program, " +
                      std::to_string(sectors_) + " sectors, " + Bytes(program_bytes_) + ")");
            Add(PlanStepKind::Checksum, "check the program's checksum in flash");
        }
        if (writes_.Fpga) {
            if (cfg_.MAIN < cfg_.FPGA)
                Erase({cfg_.FPGA}, "FPGA area");
            for (int m = 1; m <= 2; ++m)
                Write({cfg_.FPGA}, {FpgaImageFile(m)}, cfg_.FPGA_DATA_LEN,
                      "write " + FpgaImageFile(m) + " into area " + std::to_string(cfg_.FPGA) +
                          " (FPGA configuration " + std::to_string(m) + ", " + Bytes(cfg_.FPGA_DATA_LEN) + ")");
        }
        if (writes_.Boot)
            Write({kBootArea}, {BOOT_IMAGE_FILE}, sector_bytes_,
                  std::string("write ") + BOOT_IMAGE_FILE + " into area 0 (boot area with the flash monitor, " +
                      Bytes(sector_bytes_) + ")");
        Add(PlanStepKind::Restart, firmware ? "start the new program (GO) and wait for the device"
                                            : "start the new program (GO) and leave the device to start; found in its "
                                              "boot monitor, it is not asked for its version");
        if (firmware)
            Add(PlanStepKind::CheckVersion, "check that the new firmware reports the version of NUM in verup.dat");
    }
    if (!firmware)
        return;
    if (settings_.OldLayoutSave || settings_.Reset)
        Add(PlanStepKind::Restart, settings_.Reset ? "restart the device (restart reboot); its settings start afresh"
                                                   : "restart the device (restart reboot)");
    if (carry)
        RestoreBlocks();
}

// The order of the LAN update: the firmware's own flash commands, a restart after the program
// and one after every image.
void PlanBuilder::Lan()
{
    if (settings_.Save == 1) {
        PlanStep& save = Add(PlanStepKind::SaveSettings,
                             "read the settings area (31, " + Bytes(kSettingsAreaBytes) +
                                 ") and keep a copy in a file; nothing is erased unless it is read",
                             {kSettingsArea});
        save.Bytes = kSettingsAreaBytes;
    } else if (settings_.Save == 2) {
        SaveBlocks();
    }
    if (plan_.WritesFirmware) {
        if (writes_.Program) {
            // An area that is both the last program area and the FPGA area is left to neither.
            std::vector<int> areas;
            for (int i = 1; i <= cfg_.MAIN; ++i)
                if (cfg_.MAIN != cfg_.FPGA || i != cfg_.FPGA)
                    areas.push_back(i);
            Erase(areas, "main program");
            Erase({cfg_.DATA}, "data area");
            Write(ProgramSectors(), {PROGRAM_IMAGE_FILE}, program_bytes_,
                  std::string("download and write ") + PROGRAM_IMAGE_FILE + " into " + Areas(ProgramSectors()) +
                      " (main program, " + std::to_string(sectors_) + " blocks of " + Bytes(sector_bytes_) + ")");
            Add(PlanStepKind::Restart, "restart the device (restart reboot) and log in again");
        }
        if (writes_.Fpga) {
            if (cfg_.MAIN < cfg_.FPGA)
                Erase({cfg_.FPGA}, "FPGA area");
            Write({cfg_.FPGA}, {FpgaImageFile(1), FpgaImageFile(2)}, sector_bytes_,
                  "download and write " + FpgaImageFile(1) + " and " + FpgaImageFile(2) + " into area " +
                      std::to_string(cfg_.FPGA) + " (FPGA configurations, " + Bytes(sector_bytes_) + ")");
        }
        if (writes_.Boot)
            Write({kBootArea}, {BOOT_IMAGE_FILE}, sector_bytes_,
                  std::string("download and write ") + BOOT_IMAGE_FILE +
                      " into area 0 (boot area with the flash monitor, " + Bytes(sector_bytes_) + ")");
        Add(PlanStepKind::Restart, "restart the device (restart reboot) and log in again");
        Add(PlanStepKind::CheckVersion, "check that the new login reports the version of NUM in verup.dat");
    }
    if (settings_.Save == 1) {
        PlanStep& restore = Add(PlanStepKind::RestoreSettings,
                                "download the settings area (31) and write it back", {kSettingsArea});
        restore.Bytes = kSettingsAreaBytes;
        PlanStep& confirm = Add(PlanStepKind::ConfirmSettings,
                                "read area 31 back and compare it with what was written", {kSettingsArea});
        confirm.Bytes = kSettingsAreaBytes;
    } else if (settings_.Save == 2) {
        RestoreBlocks();
    }
}

}  // namespace

bool UpdatePlan::Has(PlanStepKind kind) const
{
    return std::any_of(Steps.begin(), Steps.end(), [kind](const PlanStep& step) { return step.Kind == kind; });
}

bool UpdatePlan::Writes(std::string_view image) const
{
    return std::any_of(Steps.begin(), Steps.end(), [image](const PlanStep& step) {
        return step.Kind == PlanStepKind::Write &&
               std::find(step.Images.begin(), step.Images.end(), image) != step.Images.end();
    });
}

void UpdatePlan::Refuse(std::string why)
{
    Refusals.push_back(std::move(why));
    const auto check = std::find_if(Steps.begin(), Steps.end(),
                                    [](const PlanStep& step) { return step.Kind == PlanStepKind::CheckImages; });
    if (check != Steps.end())
        check->Text = std::string(kCheckText) + kRefusedText;
    Steps.erase(check == Steps.end() ? Steps.begin() : check + 1, Steps.end());
}

std::string AreaListText(const std::vector<int>& areas)
{
    std::string text;
    for (std::size_t i = 0; i < areas.size();) {
        std::size_t end = i;
        while (end + 1 < areas.size() && areas[end + 1] == areas[end] + 1)
            ++end;
        text += (text.empty() ? "" : ", ") + std::to_string(areas[i]);
        if (end > i)
            text += (end == i + 1 ? ", " : "-") + std::to_string(areas[end]);
        i = end + 1;
    }
    return text;
}

UpdatePlan PlanUpdate(const Config& cfg, const ImagePreflight& images, const PlanSettings& settings, UpdateRoad road)
{
    UpdatePlan plan;
    plan.Road = road;
    plan.WritesFirmware = cfg.UPLOAD == 1;
    if (plan.WritesFirmware) {
        // Checked before the device is asked for anything: a refusal leaves it as it was.
        plan.Refusals = images.Problems();
        std::string text = kCheckText;
        if (plan.Refused())
            text += kRefusedText;
        else if (images.SectorCount() > 0)
            text += " (program: " + std::to_string(images.SectorCount()) + " sectors)";
        PlanStep check;
        check.Kind = PlanStepKind::CheckImages;
        check.Text = text;
        plan.Steps.push_back(std::move(check));
        if (plan.Refused())
            return plan;
    }
    PlanBuilder builder(cfg, images, settings, plan);
    if (road == UpdateRoad::Serial)
        builder.Serial();
    else
        builder.Lan();
    return plan;
}

}  // namespace verup
