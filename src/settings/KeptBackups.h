#pragma once
// The copies of devices' settings kept in the state folder. Every run that saves settings
// writes its own file, named after the device and the UTC time of the save, for example
//   7300qb-settings-00-80-6d-73-00-10-20260401T093015Z.txt   (block-wise backup)
//   7300qb-area31-00-80-6d-73-00-10-20260401T093015Z.bin     (the LAN settings area 31)
// and beside it a note "<file>.info" of "key=value" lines (UTF-8) that says what the file
// holds; the backup file itself keeps its own format. Only the run that wrote a file deletes
// it, and only once its settings are back on the device and confirmed.
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace verup {

inline constexpr char kSettingsBackupPrefix[] = "7300qb-settings-";
inline constexpr char kSettingsBackupExtension[] = ".txt";
inline constexpr char kSettingsAreaPrefix[] = "7300qb-area31-";
inline constexpr char kSettingsAreaExtension[] = ".bin";
inline constexpr char kBackupNoteExtension[] = ".info";

struct BackupNote {
    std::string Kind;      // "settings" or "area31"
    std::string Device;    // the identity in the file's name
    std::string Mac;       // the MAC address the device reported, or empty
    std::string Link;      // "COM1 /dev/ttyUSB0" or "LAN 192.168.1.10"
    std::string Time;      // UTC, "2026-04-01T09:30:15Z"
    std::string Firmware;  // the device's version text at the save (UTF-8)
    std::string Layout;    // verup.dat section the items follow: N_SAVE, O_SAVE, C_SAVE ("" for area31)
    int Items = 0;         // item lines of a settings backup, bytes of an area file
};

struct KeptBackup {
    std::string Path;
    BackupNote Note;
    bool HasNote = false;  // false: a file without its note (only Kind and Time are known)
};

// Letters, digits, '.', '_' and '-' stay; every other run of bytes becomes one '-'; MAC
// addresses and the like come out in lower case. "/dev/pts/3" gives "dev-pts-3".
std::string FileNameSafe(std::string_view text);

// "20260401T093015Z" and "2026-04-01T09:30:15Z" for `when` in UTC.
std::string CompactUtcTime(std::time_t when);
std::string ReadableUtcTime(std::time_t when);

// A name in `folder` that no file takes yet: prefix + device + "-" + time + extension, with
// "-2", "-3" ... before the extension when a file of the same second exists.
std::string FreeKeptFilePath(const std::string& folder, std::string_view prefix, const std::string& device,
                             std::time_t when, std::string_view extension);

std::string NotePathOf(const std::string& backup_path);
bool WriteBackupNote(const std::string& backup_path, const BackupNote& note, std::string& error);
bool ReadBackupNote(const std::string& backup_path, BackupNote& note);
// The file and its note; true when both are gone.
bool RemoveKeptBackup(const std::string& backup_path);

// Every kept file of `folder` (settings backups and area files, also the fixed-name backup of
// older versions), newest first.
std::vector<KeptBackup> ListKeptBackups(const std::string& folder);

// The kept files of one device: by MAC address when the device and the note both have one,
// else by the link it was reached on.
std::vector<KeptBackup> KeptBackupsOf(const std::string& folder, const std::string& mac, const std::string& link);

// Temporary files that a killed write left in `folder`: those whose writer is gone (or that
// name no writer and are older than an hour) are deleted. Returns one line for each file that
// stays or could not be deleted, and for each that was.
std::vector<std::string> CleanLeftTemporaryFiles(const std::string& folder);

}  // namespace verup
