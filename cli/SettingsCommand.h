#pragma once
// `verup settings list` and `verup settings restore`: the settings that runs kept because they
// could not put them back, and putting one of them back on its device.
#include <ostream>
#include <string>

namespace verup {
class CUpdateDlg;
}

namespace verup::cli {

// Exit codes of `verup settings restore`, as those of the update.
inline constexpr int RESTORE_OK = 0;                 // restored and read back
inline constexpr int RESTORE_REFUSED = 2;            // the start-up or the file refused
inline constexpr int RESTORE_NOT_RESTORED = 3;       // the device did not take them; the file is kept
inline constexpr int RESTORE_USAGE = 64;

struct RestoreOptions {
    std::string File;     // a path, or a file name in the state folder
    std::string Com;
    std::string Lan;
    std::string Port;
    bool AnyDevice = false;
    std::string LogFile;
    double TimeScale = 0;
};

// Lists the kept files of `state_directory`; always 0.
int RunSettingsList(const std::string& state_directory, std::ostream& out);
int RunSettingsRestore(const RestoreOptions& options, std::ostream& out, std::ostream& err, bool terminal);

// After a start-up: the kept files of the device it reached and what it found in the state
// folder, as notes on `err`.
void PrintStateFolderNotes(const CUpdateDlg& dlg, std::ostream& err);

}  // namespace verup::cli
