// Carrying the device's settings across an update: getdata into the backup file before the
// flash is touched, putdata and "savedata restart" after the new firmware runs, and the
// re-laying of an older firmware's backup for the new one.
#include "settings/SettingsCarrier.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "package/ConfigReader.h"
#include "platform/ProfileFile.h"
#include "protocol/FlashAreas.h"
#include "protocol/ReplyText.h"
#include "protocol/TextFormat.h"
#include "settings/BackupFile.h"
#include "settings/ConversionRules.h"
#include "settings/GetdataReply.h"
#include "settings/SettingsWords.h"

namespace verup {
namespace {

using namespace settings;

// One item from `reader` for each place of `layout`, put into `table` as `adapt` makes it;
// false (with why) when the file ends first. `layout_name` is "" or the layout's key and a space.
template <typename Adapt>
bool ReadBackupItems(BackupFileReader& reader, const SettingsLayoutTable& layout, const char* layout_name,
                     SettingsTable& table, Adapt adapt, std::string& problem)
{
    std::string item;
    for (int b = 1; b <= layout.BlockCount; ++b)
        for (int i = 1; i <= layout.Items(b); ++i) {
            if (!reader.NextItem(item)) {
                problem = FormatText("settings backup ends before %sitem %d of block %d", layout_name, i, b);
                return false;
            }
            table.SetItem(b, i, adapt(b, i, std::move(item)));
        }
    return true;
}

}  // namespace

SettingsCarrier::SettingsCarrier(RoadContext context) : ctx_(std::move(context)) {}

SettingsCarrier::~SettingsCarrier() = default;

int SettingsCarrier::Problem(const std::string& text)
{
    SettingsProblem = text;
    ctx_.Log(text + "\r\n");
    return 0;
}

std::string SettingsCarrier::TitleVersionText() const
{
    return MakeTitleVersionText(MakeTitleText(ctx_.cfg));
}

std::optional<BackupFileReader> SettingsCarrier::OpenOwnBackup(const std::string& path)
{
    std::string content;
    std::string error;
    if (!ReadBackupFile(path, content, error)) {
        Problem("settings backup not read: " + error);
        return std::nullopt;
    }
    BackupFileReader reader(std::move(content));
    if (!reader.StartsWithTitle(TitleVersionText())) {
        Problem("settings backup belongs to another product");
        return std::nullopt;
    }
    return reader;
}

// Sends `command` (the shell prompt must answer) and looks for `confirmation` after the
// command's echo in its reply and in the replies to at most two nudges. A command that changes
// nothing on the device is sent again when that finds nothing (its reply was lost), up to
// `sends` times in all. `gathered` receives the text from the echo on (all of it without one).
bool SettingsCarrier::RunConfirmedCommand(CommandChannel& channel, const std::string& command,
                                          const std::string& confirmation, std::string& gathered, int sends)
{
    for (int send = 0; send < std::max(sends, 1); ++send) {
        if (channel.Transact(command, kShellPromptTimeoutMs, RK_SHELL_PROMPT) == 0)
            return false;
        gathered.clear();
        for (int search = 0; search < kConfirmationSearches; ++search) {
            gathered += channel.ReplyBuffer;
            // A late reply to an earlier try may come first; this try's text starts at its echo.
            const std::size_t echo = gathered.find(command);
            if (FindText(std::string_view(gathered).substr(echo == std::string::npos ? 0 : echo), confirmation) != 0) {
                if (echo != std::string::npos)
                    gathered.erase(0, echo);
                return true;
            }
            channel.Transact(kNudge, kShellPromptTimeoutMs, RK_SHELL_PROMPT);
            ctx_.progress.Show(kLogRetry);
        }
    }
    return false;
}

// Lists block `b` of the device's settings into `items` (`count` of them); false (reported)
// when the device does not list it whole.
bool SettingsCarrier::ReadDeviceBlock(CommandChannel& channel, int b, int count, std::vector<std::string>& items)
{
    ctx_.clock.SleepMs(kCommandPauseMs);
    ctx_.progress.Show(FormatText(kLogGetdata, b));
    const std::string confirmation = FormatText(kGetdataConfirmation, b);
    std::string gathered;
    // Each try of the channel, so RETRY keeps bounding how often one command goes out.
    if (!RunConfirmedCommand(channel, FormatText(kGetdataCommand, b), confirmation, gathered, channel.AttemptCount))
        return Problem(FormatText("getdata %d: the device did not list the block (no \"load data_%d ok\")", b, b));
    const std::size_t items_end = static_cast<std::size_t>(FindText(gathered, confirmation) - 1);
    if (!ReadGetdataItems(std::string_view(gathered).substr(0, items_end), count, items))
        return Problem(FormatText("getdata %d: reply ends after %zu of %d items", b, items.size(), count));
    return true;
}

bool SettingsCarrier::LayoutUsable(const SettingsLayoutTable& layout, const char* name)
{
    if (SettingsTable::Holds(layout))
        return true;
    return Problem(FormatText("settings layout %s exceeds %d blocks of %d items", name, SettingsTable::kMaxBlocks,
                              SettingsTable::kMaxItems));
}

// The layout checked and the table made ready to take it.
bool SettingsCarrier::PrepareTable(const SettingsLayoutTable& layout, const char* name)
{
    if (!LayoutUsable(layout, name))
        return false;
    if (!Settings)
        Settings = std::make_unique<SettingsTable>();
    return true;
}

int SettingsCarrier::SaveDeviceSettings(Road& road, const std::string& path)
{
    BackupWrittenThisRun = false;
    SettingsProblem.clear();
    if (!PrepareTable(SettingsLayout, "in force"))
        return 0;

    std::vector<std::string> items;
    for (int b = 1; b <= SettingsLayout.BlockCount; ++b) {
        if (!ReadDeviceBlock(road.Channel(), b, SettingsLayout.Items(b), items))
            return 0;
        for (std::size_t i = 0; i < items.size(); ++i)
            Settings->SetItem(b, static_cast<int>(i) + 1, std::move(items[i]));
        ctx_.progress.Tick(Reporter::Step::SettingsSave, FormatText(kLogReadOk, b));
    }

    std::string error;
    // Each run writes a file of its own: an earlier run's backup may be a device's only copy.
    if (!WriteNewBackupFile(path, FormatBackupFile(TitleVersionText(), *Settings, SettingsLayout), error))
        return Problem("settings backup not written: " + error);
    BackupWrittenThisRun = true;
    if (BackupWritten)
        BackupWritten(path);
    return 1;
}

int SettingsCarrier::RestoreDeviceSettings(Road& road, const std::string& path)
{
    SettingsRestored = false;
    SettingsWrittenBack = false;
    SettingsProblem.clear();
    SettingsAreaWritten.clear();
    // A backup left by an earlier run holds another moment's (or another device's) settings.
    if (!BackupWrittenThisRun)
        return Problem("no settings backup from this run");
    if (ConvertOnRestore) {
        // The old layout's items must never be written into the new firmware's numbering.
        if (ConvertSavedSettings(path) == 0)
            return Problem("settings backup not converted");
        ctx_.Log(kLogConverted);
    }
    if (!PrepareTable(SettingsLayout, "in force"))
        return 0;

    std::optional<BackupFileReader> reader = OpenOwnBackup(path);
    if (!reader)
        return 0;
    std::string problem;
    // Everything is read before the first putdata, so a short file sends nothing.
    SettingsTable restored = *Settings;
    if (!ReadBackupItems(*reader, SettingsLayout, "", restored, [](int, int, std::string item) { return item; },
                         problem))
        return Problem(problem);
    *Settings = std::move(restored);

    CommandChannel& channel = road.Channel();
    std::string gathered;
    for (int b = 1; b <= SettingsLayout.BlockCount; ++b) {
        ctx_.progress.Show(FormatText(kLogPutdata, b));
        for (int i = 1; i <= SettingsLayout.Items(b); ++i) {
            ctx_.clock.SleepMs(kCommandPauseMs);
            const std::string command = FormatText(kPutdataCommand, b, i, Settings->Item(b, i).c_str());
            if (!RunConfirmedCommand(channel, command, FormatText(kPutdataConfirmation, b), gathered))
                return Problem(FormatText("putdata %d %d: not confirmed (no \"write data_%d ok\")", b, i, b));
        }
        ctx_.progress.Tick(Reporter::Step::SettingsRestore, FormatText(kLogWriteOk, b));
    }

    ctx_.progress.Show(kLogSavedata);
    // The device stores the settings, says "\r\nWrite OK" and restarts. Without that answer
    // (nothing, or its error word) it may hold them only until the next restart.
    if (channel.Transact(kSavedataCommand, kSavedataTimeoutMs, RK_WRITE_OK_LINE, true) != 1)
        return Problem("savedata restart: no \"Write OK\"; the device may not have stored the settings");
    SettingsWrittenBack = true;
    // Whether they were stored is known once the device is up again (ConfirmRestoredSettings).
    return 1;
}

int SettingsCarrier::ConfirmRestoredSettings(Road& road)
{
    SettingsRestored = false;
    SettingsProblem.clear();
    std::string problem;
    if (!SettingsAreaWritten.empty()) {
        // The whole settings area was written: it is read back and compared byte for byte.
        if (!road.EnterShell(problem))
            return Problem(problem + " to read the settings back");
        // In CRC mode the area's two FCS bytes follow it.
        std::vector<uint8_t> back(SettingsAreaWritten.size() + kAreaFcsBytes, 0);
        if (road.UploadArea(back.data(), SettingsAreaWritten.size(), kSettingsArea) != 1)
            return Problem(FormatText("upload %d: the settings area could not be read back", kSettingsArea));
        if (!std::equal(SettingsAreaWritten.begin(), SettingsAreaWritten.end(), back.begin()))
            return Problem(FormatText("area %d reads back other than what was written", kSettingsArea));
        ctx_.progress.Tick(Reporter::Step::SettingsConfirm, FormatText(kLogAreaCheckOk, kSettingsArea));
        SettingsRestored = true;
        return 1;
    }
    if (!Settings || !LayoutUsable(SettingsLayout, "in force"))
        return Problem("no restored settings to read back");

    if (!road.EnterShell(problem))
        return Problem(problem + " to read the settings back");
    // What the device lists after its restart is what it stored.
    bool same = true;
    std::vector<std::string> items;
    for (int b = 1; same && b <= SettingsLayout.BlockCount; ++b) {
        same = ReadDeviceBlock(road.Channel(), b, SettingsLayout.Items(b), items);
        for (std::size_t i = 0; same && i < items.size(); ++i)
            if (items[i] != Settings->Item(b, static_cast<int>(i) + 1))
                same = Problem(FormatText("block %d item %zu reads back other than what was written", b, i + 1));
        if (same)
            ctx_.progress.Tick(Reporter::Step::SettingsConfirm, FormatText(kLogCheckOk, b));
    }
    road.LeaveShell();
    if (!same)
        return 0;
    SettingsRestored = true;
    return 1;
}

std::string SettingsCarrier::SettingsNotSavedDetail() const
{
    return "The device's settings could not be saved: " + SettingsProblem +
           ".\nThe update stopped before anything was erased: the device keeps its firmware and its settings.\n"
           "Next: check the connection, and that the folder " + std::filesystem::path(BackupFilePath).parent_path().string() +
           " can be written, then run the update again.";
}

std::string SettingsCarrier::SettingsNotRestoredDetail() const
{
    std::string text = "The update ended, but the device's settings were not confirmed as restored";
    if (!SettingsProblem.empty())
        text += ": " + SettingsProblem;
    text += ".\nThe settings as saved before the update are kept. Next: check the device's settings, and put them "
            "back from the kept copy if they are not as before.";
    return text;
}

int SettingsCarrier::ConvertSavedSettings(const std::string& path)
{
    if (!BackupWrittenThisRun)
        return 0;
    if (!PrepareTable(ConversionLayout, "C_DATA"))
        return 0;

    std::optional<BackupFileReader> reader = OpenOwnBackup(path);
    if (!reader)
        return 0;

    std::string problem;
    // The old file's lines go to the new blocks in order, C_DATA saying how many each takes.
    SettingsTable converted = *Settings;
    if (!ReadBackupItems(*reader, ConversionLayout, "C_DATA ", converted, ApplyConversionRules, problem))
        return Problem(problem);

    SettingsLayoutTable new_layout = ctx_.cfg.C_SAVE;
    if (!LayoutUsable(new_layout, "C_SAVE"))
        return 0;
    // Written beside the old file and renamed over it: the old backup survives a failed write.
    std::string error;
    if (!WriteBackupFile(path, FormatBackupFile(TitleVersionText(), converted, new_layout), error)) {
        ctx_.Log("converted settings backup not written: " + error + "\r\n");
        return 0;
    }
    *Settings = std::move(converted);
    SettingsLayout = std::move(new_layout);
    SettingsLayoutName = "C_SAVE";
    if (BackupWritten)
        BackupWritten(path);
    return 1;
}

}  // namespace verup
