#pragma once
// Carries the device's settings across an update: saves them into a backup file before the
// flash is touched, converts an older firmware's backup for the new one, writes them back once
// the new firmware runs and reads them back to confirm. It owns the backup and its state, and
// talks to the device through whichever road the update took.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "package/Config.h"
#include "protocol/Road.h"
#include "protocol/RoadContext.h"
#include "settings/BackupFile.h"
#include "settings/SettingsTable.h"

namespace verup {

class SettingsCarrier {
public:
    explicit SettingsCarrier(RoadContext context);
    ~SettingsCarrier();
    SettingsCarrier(const SettingsCarrier&) = delete;
    SettingsCarrier& operator=(const SettingsCarrier&) = delete;

    // Told of every backup file this carrier writes (the update notes whose it is).
    std::function<void(const std::string& path)> BackupWritten;

    // 1 done, 0 failed (SettingsProblem says why).
    int SaveDeviceSettings(Road& road, const std::string& path);
    int RestoreDeviceSettings(Road& road, const std::string& path);
    int ConvertSavedSettings(const std::string& path);
    // Reads back what the last restore wrote, once the device is up again: the blocks with
    // getdata, or (over the LAN, when the whole settings area was written) the area itself.
    // 1 when the device holds what was written (SettingsRestored then becomes true), else 0.
    int ConfirmRestoredSettings(Road& road);
    // The front ends' texts when the settings could not be saved (nothing erased), or were
    // written back without being confirmed.
    std::string SettingsNotSavedDetail() const;
    std::string SettingsNotRestoredDetail() const;

    // The backup file of this run, named once the device is known.
    std::string BackupFilePath;
    // The layout in force (the verup.dat section it came from), and the old firmware's
    // layout when the backup is converted on the way back.
    SettingsLayoutTable SettingsLayout;
    std::string SettingsLayoutName;
    SettingsLayoutTable ConversionLayout;
    int ConvertOnRestore = 0;
    std::unique_ptr<SettingsTable> Settings;
    // The backup file was written by this run's save (a restore never uses an older one).
    bool BackupWrittenThisRun = false;
    // The restored settings were read back from the device and found as written; the
    // teardown deletes the backup file only then.
    bool SettingsRestored = false;
    // The saved settings were written back (putdata and savedata, or the area), confirmed or not.
    bool SettingsWrittenBack = false;
    // The settings area written back whole over the LAN, for ConfirmRestoredSettings.
    std::vector<std::uint8_t> SettingsAreaWritten;
    // Why the last save, restore or confirmation failed (plain English), else empty.
    std::string SettingsProblem;
    // The teardown kept the backup because its settings were not put back.
    bool BackupKept = false;
    // The file holding the settings area read over the LAN, when the run ended without writing
    // it back (else empty). The teardown leaves it alone.
    std::string SettingsAreaKeptPath;

private:
    // Reports a failure and keeps it as the operation's reason; 0.
    int Problem(const std::string& text);
    bool RunConfirmedCommand(CommandChannel& channel, const std::string& command, const std::string& confirmation,
                             std::string& gathered, int sends = 1);
    bool ReadDeviceBlock(CommandChannel& channel, int b, int count, std::vector<std::string>& items);
    bool LayoutUsable(const SettingsLayoutTable& layout, const char* name);
    bool PrepareTable(const SettingsLayoutTable& layout, const char* name);
    // The backup file's first line: the product's title and version words.
    std::string TitleVersionText() const;
    // This product's backup file, ready to be read after its title; nullopt (reported) when it
    // cannot be read or belongs to another product.
    std::optional<BackupFileReader> OpenOwnBackup(const std::string& path);

    RoadContext ctx_;
};

}  // namespace verup
