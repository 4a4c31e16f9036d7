#pragma once
// The start-up's settings decision: from the package's values, what the device runs and the
// version the package brings, whether the settings are carried, in which layout, and whether
// they are converted on the way back. A pure function: the caller shows the messages.
#include <string>
#include <vector>

#include "package/Config.h"
#include "protocol/DeviceIdentity.h"

namespace verup {

struct SettingsPlan {
    // The start-up ends with RefusalMessage (CP932; Exclamation or else Stop).
    bool Refused = false;
    std::string RefusalMessage;
    bool RefusalIsExclamation = false;
    // Shown before the start-up goes on (CP932, Exclamation).
    std::vector<std::string> Warnings;
    // What the debug log is told, in order.
    std::vector<std::string> LogLines;

    int Save = 0;  // SAVE as this run uses it: cleared when the settings are initialised
    double DeviceVersion = 0.0;
    int DeviceRevision = 0;
    int SettingsReset = 0;
    int OldLayoutSave = 0;
    int ConvertOnRestore = 0;
    SettingsLayoutTable Layout;
    std::string LayoutName;  // the verup.dat section Layout came from
    SettingsLayoutTable ConversionLayout;
    int AddedBlockCount = 0;
};

// `new_version_text` is NUM cut to NUM_LEN. The layouts come from `cfg`'s layout sections.
[[nodiscard]] SettingsPlan DecideSettingsPlan(const Config& cfg, const DeviceIdentity& device,
                                              const std::string& new_version_text);

}  // namespace verup
