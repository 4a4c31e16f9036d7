#pragma once
// What an update will do, in order, before it does any of it: the check of the images made
// before anything is erased, then every settings save, erase, write, checksum, restart,
// version check and settings restore, each with its flash areas, its image and its size.
// The serial and the LAN road do different things with the same package; each gets its own
// list. A pure function of the package's values, its images and the settings decision.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/ImagePreflight.h"
#include "package/Config.h"

namespace verup {

// The two roads, numbered as the connection choice numbers them.
enum class UpdateRoad { Serial = 0, Lan = 1 };

// The settings decision as the plan needs it (the start-up's settings plan, applied).
struct PlanSettings {
    // SAVE as this run uses it: 0 not carried; serial 1 or 2 and LAN 2 block by block; LAN 1
    // the settings area (31) as a whole.
    int Save = 0;
    // The device runs its firmware. False only on the serial road for a device found in its
    // boot monitor: it has no shell, so nothing is saved, restored or version-checked.
    bool FirmwareRunning = true;
    // The old firmware's settings sector is erased from its shell ("fromer 01") instead of
    // the monitor's erase of the data area.
    bool OldLayoutSave = false;
    // The saved settings are re-laid for the new firmware before they are written back.
    bool ConvertOnRestore = false;
    // The settings return to their defaults: the device is restarted before the restore stage.
    bool Reset = false;
    std::string LayoutName;   // the verup.dat section the settings are read with (N_SAVE, O_SAVE)
    int BlockCount = 0;       // its blocks
    int AddedBlockCount = 0;  // blocks the new firmware's layout adds (with ConvertOnRestore)
};

enum class PlanStepKind {
    CheckImages,      // every image converts and fits the flash; a refusal ends the plan here
    SaveSettings,     // read from the device, before anything is erased
    EnterMonitor,     // serial: the device sent to its boot monitor
    Erase,            // flash areas erased
    Download,         // serial: the program's lines sent into the monitor's RAM
    Checksum,         // serial: the program's checksum word corrected in RAM, or the flash's checked
    Write,            // an image written into flash areas
    Restart,          // the device restarted (and reached again)
    CheckVersion,     // the new firmware's version compared with NUM
    ConvertSettings,  // the saved settings re-laid for the new firmware
    RestoreSettings,  // written back and stored
    ConfirmSettings,  // read back and compared with what was written
};

struct PlanStep {
    PlanStepKind Kind = PlanStepKind::CheckImages;
    std::vector<int> Areas;   // flash areas erased, written or read, in order
    std::vector<std::string> Images;  // the files written (Download, Write); the LAN sends both FPGA files in one
    std::uint64_t Bytes = 0;  // bytes written or read, where the step has a size
    int Blocks = 0;           // settings blocks (SaveSettings, RestoreSettings, ConfirmSettings)
    std::string Text;         // one line for the technician
};

struct UpdatePlan {
    UpdateRoad Road = UpdateRoad::Serial;
    bool WritesFirmware = false;      // UPLOAD=1
    std::vector<std::string> Refusals;  // why the images would be refused (empty: they are usable)
    std::vector<PlanStep> Steps;

    bool Refused() const { return !Refusals.empty(); }
    // Whether the plan has a step of `kind`; whether a step writes `image` into the flash.
    bool Has(PlanStepKind kind) const;
    bool Writes(std::string_view image) const;
    // Refuses the images for `why` as well: the plan then ends at their check.
    void Refuse(std::string why);
};

// The plan for `road`. With UPLOAD other than 1 it holds only the settings steps; with images
// that would be refused it stops at their check, as the update does.
[[nodiscard]] UpdatePlan PlanUpdate(const Config& cfg, const ImagePreflight& images, const PlanSettings& settings,
                                    UpdateRoad road);

// "1-3", "1, 2, 4, 5", "30": the areas of a step as a technician reads them.
std::string AreaListText(const std::vector<int>& areas);

}  // namespace verup
