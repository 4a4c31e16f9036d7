// Carrying the device's settings across an update: getdata into the backup file before the
// flash is touched, putdata and "savedata restart" after the new firmware runs, and the
// re-laying of an older firmware's backup for the new one.
#include <optional>
#include <string>
#include <vector>

#include "app/CUpdateDlg.h"
#include "app/ConfigReader.h"
#include "platform/ProfileFile.h"
#include "protocol/ReplyText.h"
#include "protocol/TextFormat.h"
#include "settings/BackupFile.h"
#include "settings/ConversionRules.h"
#include "settings/GetdataReply.h"
#include "settings/SettingsTable.h"
#include "settings/SettingsWords.h"

namespace verup {
namespace {

using namespace settings;

// Sends `command` (the shell prompt must answer) and looks for `confirmation` in its reply and
// in the replies to at most two nudges. `gathered` receives all of that text.
bool RunConfirmedCommand(CUpdateDlg& dlg, const std::string& command, const std::string& confirmation,
                         std::string& gathered)
{
    if (dlg.Channel.Transact(command, kShellPromptTimeoutMs, RK_SHELL_PROMPT) == 0)
        return false;
    gathered.clear();
    for (int search = 0; search < kConfirmationSearches; ++search) {
        gathered += dlg.Channel.ReplyBuffer;
        if (FindText(gathered, confirmation) != 0)
            return true;
        dlg.Channel.Transact(kNudge, kShellPromptTimeoutMs, RK_SHELL_PROMPT);
        dlg.Report(dlg.ProgressStep, kLogRetry);
    }
    return false;
}

bool LayoutUsable(CUpdateDlg& dlg, const SettingsLayoutTable& layout, const char* name)
{
    if (SettingsTable::Holds(layout))
        return true;
    dlg.Report(-1, FormatText("settings layout %s exceeds %d blocks of %d items\r\n", name, SettingsTable::kMaxBlocks,
                          SettingsTable::kMaxItems));
    return false;
}

// The layout checked and the table made ready to take it.
bool PrepareTable(CUpdateDlg& dlg, const SettingsLayoutTable& layout, const char* name)
{
    if (!LayoutUsable(dlg, layout, name))
        return false;
    if (!dlg.Settings)
        dlg.Settings = std::make_unique<SettingsTable>();
    return true;
}

// The backup file's content, ready to be read from its title; nullopt (reported) when unread.
std::optional<BackupFileReader> OpenBackup(CUpdateDlg& dlg, const std::string& path)
{
    std::string content;
    std::string error;
    if (!ReadBackupFile(path, content, error)) {
        dlg.Report(-1, "settings backup not read: " + error + "\r\n");
        return std::nullopt;
    }
    return BackupFileReader(std::move(content));
}

// One item from `reader` for each place of `layout`, put into `table` as `adapt` makes it;
// false (reported) when the file ends first. `layout_name` is "" or the layout's key and a space.
template <typename Adapt>
bool ReadBackupItems(CUpdateDlg& dlg, BackupFileReader& reader, const SettingsLayoutTable& layout,
                     const char* layout_name, SettingsTable& table, Adapt adapt)
{
    std::string item;
    for (int b = 1; b <= layout.BlockCount; ++b)
        for (int i = 1; i <= layout.Items(b); ++i) {
            if (!reader.NextItem(item)) {
                dlg.Report(-1, FormatText("settings backup ends before %sitem %d of block %d\r\n", layout_name, i, b));
                return false;
            }
            table.SetItem(b, i, adapt(b, i, std::move(item)));
        }
    return true;
}

}  // namespace

int CUpdateDlg::SaveDeviceSettings(const std::string& path)
{
    BackupWrittenThisRun = false;
    if (!PrepareTable(*this, SettingsLayout, "in force"))
        return 0;

    std::string gathered;
    std::vector<std::string> items;
    for (int b = 1; b <= SettingsLayout.BlockCount; ++b) {
        clock.SleepMs(kCommandPauseMs);
        Report(ProgressStep, FormatText(kLogGetdata, b));
        const std::string confirmation = FormatText(kGetdataConfirmation, b);
        if (!RunConfirmedCommand(*this, FormatText(kGetdataCommand, b), confirmation, gathered))
            return 0;
        const int count = SettingsLayout.Items(b);
        const std::size_t items_end = static_cast<std::size_t>(FindText(gathered, confirmation) - 1);
        const bool complete = ReadGetdataItems(std::string_view(gathered).substr(0, items_end), count, items);
        for (std::size_t i = 0; i < items.size(); ++i)
            Settings->SetItem(b, static_cast<int>(i) + 1, std::move(items[i]));
        if (!complete) {
            Report(-1, FormatText("getdata %d: reply ends after %zu of %d items\r\n", b, items.size(), count));
            return 0;
        }
        ++ProgressStep;
        Report(ProgressStep, FormatText(kLogReadOk, b));
    }

    std::string error;
    // Each run writes a file of its own: an earlier run's backup may be a device's only copy.
    if (!WriteNewBackupFile(path, FormatBackupFile(TitleVersionText, *Settings, SettingsLayout), error)) {
        Report(-1, "settings backup not written: " + error + "\r\n");
        return 0;
    }
    BackupWrittenThisRun = true;
    NoteBackupFile(path);
    return 1;
}

int CUpdateDlg::RestoreDeviceSettings(const std::string& path)
{
    SettingsRestored = false;
    // A backup left by an earlier run holds another moment's (or another device's) settings.
    if (!BackupWrittenThisRun) {
        Report(-1, "no settings backup from this run\r\n");
        return 0;
    }
    if (ConvertOnRestore) {
        // The old layout's items must never be written into the new firmware's numbering.
        if (ConvertSavedSettings(path) == 0) {
            Report(-1, "settings backup not converted\r\n");
            return 0;
        }
        Report(-1, kLogConverted);
    }
    if (!PrepareTable(*this, SettingsLayout, "in force"))
        return 0;

    std::optional<BackupFileReader> reader = OpenBackup(*this, path);
    if (!reader)
        return 0;
    if (!reader->StartsWithTitle(TitleVersionText)) {
        Report(-1, "settings backup belongs to another product\r\n");
        return 0;
    }
    // Everything is read before the first putdata, so a short file sends nothing.
    SettingsTable restored = *Settings;
    if (!ReadBackupItems(*this, *reader, SettingsLayout, "", restored,
                         [](int, int, std::string item) { return item; }))
        return 0;
    *Settings = std::move(restored);

    std::string gathered;
    for (int b = 1; b <= SettingsLayout.BlockCount; ++b) {
        Report(ProgressStep, FormatText(kLogPutdata, b));
        for (int i = 1; i <= SettingsLayout.Items(b); ++i) {
            clock.SleepMs(kCommandPauseMs);
            const std::string command = FormatText(kPutdataCommand, b, i, Settings->Item(b, i).c_str());
            if (!RunConfirmedCommand(*this, command, FormatText(kPutdataConfirmation, b), gathered))
                return 0;
        }
        ++ProgressStep;
        Report(ProgressStep, FormatText(kLogWriteOk, b));
    }

    Report(ProgressStep, kLogSavedata);
    // The device restarts on it; whether "\r\nWrite OK" came before is not examined.
    Channel.Transact(kSavedataCommand, kSavedataTimeoutMs, RK_WRITE_OK_LINE, true);
    SettingsRestored = true;
    return 1;
}

int CUpdateDlg::ConvertSavedSettings(const std::string& path)
{
    if (!BackupWrittenThisRun)
        return 0;
    if (!PrepareTable(*this, ConversionLayout, "C_DATA"))
        return 0;

    std::optional<BackupFileReader> reader = OpenBackup(*this, path);
    if (!reader || !reader->StartsWithTitle(TitleVersionText))
        return 0;

    // The old file's lines go to the new blocks in order, C_DATA saying how many each takes.
    SettingsTable converted = *Settings;
    if (!ReadBackupItems(*this, *reader, ConversionLayout, "C_DATA ", converted, ApplyConversionRules))
        return 0;

    SettingsLayoutTable new_layout = ReadSettingsLayout(ProfileFile(ConfigFilePath), "C_SAVE");
    if (!LayoutUsable(*this, new_layout, "C_SAVE"))
        return 0;
    // Written beside the old file and renamed over it: the old backup survives a failed write.
    std::string error;
    if (!WriteBackupFile(path, FormatBackupFile(TitleVersionText, converted, new_layout), error)) {
        Report(-1, "converted settings backup not written: " + error + "\r\n");
        return 0;
    }
    *Settings = std::move(converted);
    SettingsLayout = std::move(new_layout);
    SettingsLayoutName = "C_SAVE";
    NoteBackupFile(path);
    return 1;
}

}  // namespace verup
