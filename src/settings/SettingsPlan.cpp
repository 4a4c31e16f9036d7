#include "settings/SettingsPlan.h"

#include "package/ConfigReader.h"
#include "package/VersionNumber.h"
#include "settings/SettingsTable.h"
#include "settings/SettingsTexts.h"

namespace verup {
namespace {

constexpr char kLogInitData[] = "init data\r\n";
constexpr char kLogNewData[] = "new data\r\n";
constexpr char kLogOldData[] = "old data\r\n";

void Initialise(SettingsPlan& plan)
{
    plan.Warnings.push_back(kMsgSettingsNotSupported);
    plan.Save = 0;
    plan.SettingsReset = 1;
    plan.LogLines.push_back(kLogInitData);
}

}  // namespace

// The device's revision follows its version text after one separator, for example
// "Version 1.10 3" with NUM_LEN 12. When nothing follows (the LAN login keeps only the
// version text) the revision reads as 0, as an empty text does: firmware 1.1 of unknown
// revision is treated as one that cannot carry its settings, so they are initialised with
// the message instead of being written back into firmware that may not take them.
SettingsPlan DecideSettingsPlan(const Config& cfg, const DeviceIdentity& device, const std::string& new_version_text)
{
    SettingsPlan plan;
    plan.Save = cfg.SAVE;
    const double current = ReadVersionNumber(device.CurrentVersionText, cfg.NUM_LEN);
    const double next = ReadVersionNumber(new_version_text, cfg.NUM_LEN);

    if (current < cfg.FRM_VER && cfg.SAVE != 0) {
        plan.Refused = true;
        plan.RefusalMessage = kMsgFirmwareTooOld;
        plan.RefusalIsExclamation = true;
        return plan;
    }
    // Firmware before 1.1 has its settings cleared with "fromer 01", which erases flash area 1,
    // the program's first area: only a run that writes the program brings such a device back
    // from its boot monitor. And settings re-laid for a new firmware do not fit the old one.
    if (current < kNewLayoutVersion && cfg.UPLOAD != 1) {
        plan.Refused = true;
        plan.RefusalMessage = kMsgSettingsOnlyOldFirmware;
        return plan;
    }

    if (next >= kNewLayoutVersion && current >= kNewLayoutVersion) {
        plan.DeviceVersion = ReadVersionNumber(device.FirmwareVersionText, cfg.NUM_LEN);
        plan.DeviceRevision = ReadRevision(device.FirmwareVersionText, cfg.NUM_LEN);
        if ((plan.DeviceVersion == kNewLayoutVersion && RevisionWithoutCarry(plan.DeviceRevision)) ||
            (next == kNewLayoutVersion && RevisionWithoutCarry(cfg.REV_VER)))
            Initialise(plan);
        plan.Layout = cfg.N_SAVE;
        plan.LayoutName = "N_SAVE";
        plan.LogLines.push_back(kLogNewData);
    } else if (next >= kNewLayoutVersion && current < kNewLayoutVersion) {
        plan.ConvertOnRestore = 1;
        plan.OldLayoutSave = 1;
        plan.Layout = cfg.O_SAVE;
        plan.LayoutName = "O_SAVE";
        plan.ConversionLayout = cfg.C_DATA;
        plan.AddedBlockCount = plan.ConversionLayout.BlockCount - plan.Layout.BlockCount;
        plan.LogLines.push_back(kLogOldData);
    } else if (next < kNewLayoutVersion && current >= kNewLayoutVersion) {
        Initialise(plan);
    } else {
        plan.OldLayoutSave = 1;
        plan.Layout = cfg.O_SAVE;
        plan.LayoutName = "O_SAVE";
        plan.LogLines.push_back(kLogOldData);
    }
    return plan;
}

}  // namespace verup
