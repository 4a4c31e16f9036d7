#pragma once
// The device shell's settings commands, their confirmations and their time-outs.
#include <cstddef>

namespace verup::settings {

// "getdata 3\r" lists block 3; the reply ends with "load data_3 ok\r\n" and the prompt.
inline constexpr char kGetdataCommand[] = "getdata %d\r";
inline constexpr char kGetdataConfirmation[] = "load data_%d ok\r\n";
// "putdata 2 5 text\r" sets item 5 of block 2; confirmed by "write data_2 ok\r\n" (the block).
inline constexpr char kPutdataCommand[] = "putdata %d %d %s\r";
inline constexpr char kPutdataConfirmation[] = "write data_%d ok\r\n";
// Stores what putdata set and restarts the device.
inline constexpr char kSavedataCommand[] = "savedata restart\r";
inline constexpr char kNudge[] = "\r";

inline constexpr int kShellPromptTimeoutMs = 10000;  // getdata, putdata and their nudges
inline constexpr int kSavedataTimeoutMs = 5000;      // "\r\nWrite OK" before the restart
inline constexpr int kCommandPauseMs = 100;          // before each getdata and putdata
// A command's own reply plus the replies to at most this many nudges are searched.
inline constexpr int kConfirmationSearches = 3;

// Debug-log lines.
inline constexpr char kLogGetdata[] = "getdata %d\r\n";
inline constexpr char kLogReadOk[] = "data %d read OK\r\n";
inline constexpr char kLogPutdata[] = "putdata %d\r\n";
inline constexpr char kLogWriteOk[] = "data %d write OK\r\n";
inline constexpr char kLogSavedata[] = "savedata restart\r\n";
inline constexpr char kLogConverted[] = "new data <- old data\r\n";
inline constexpr char kLogRetry[] = "retry";
inline constexpr char kLogCheckOk[] = "data %d check OK\r\n";     // read back after the restore
inline constexpr char kLogAreaCheckOk[] = "area %d check OK\r\n";

// The settings flash area, moved whole over the LAN (SAVE 1).
inline constexpr std::size_t kAreaFcsBytes = 2;

// Where the conversion's value rules apply (block and item numbers of the new layout).
inline constexpr int kRecordBlock = 37;      // every item: a record of eleven 0x01-separated fields
inline constexpr int kRecordFieldCount = 11;
inline constexpr int kRecordMaxWordLength = 63;
inline constexpr long kRecordUnsetValue = 65535;  // written "-1" by the new firmware
inline constexpr int kModeBlock = 19;
inline constexpr int kModeItem = 2;

}  // namespace verup::settings
