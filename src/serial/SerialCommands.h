#pragma once
// The serial road's commands, prompts and time-outs (device milliseconds), in one place.
#include <cstdint>

#include "serial/ResponseMatcher.h"

namespace verup::serial_cmd {

// Wake-up bytes: a boot monitor answers them with its prompt.
inline constexpr char WAKE_A[] = "A";
inline constexpr char WAKE_XON[] = "\x11";
inline constexpr char WAKE_S[] = "S";
inline constexpr char FROM[] = "FROM\r\n";
inline constexpr char IDENTIFY[] = "AT$I99=157\r\n";
inline constexpr char ENTER_MONITOR[] = "AT!F1\r\n";
inline constexpr char PRODUCT[] = "ati\r";
inline constexpr char VERSION[] = "at%i2\r";
inline constexpr char START_PROGRAM[] = "at%z\r";
inline constexpr char ATTENTION[] = "AT\r\n";
inline constexpr char SHELL[] = "ATT1\r";
inline constexpr char SHELL_EXIT[] = "exit\r";
inline constexpr char NUDGE[] = "\r";
inline constexpr char ERASE_SETTINGS_OLD[] = "fromer 01\r";
inline constexpr char RESTART[] = "restart reboot\r";
inline constexpr char ERASE_FORMAT[] = "ER%02d\r";
inline constexpr char PROGRAM_SECTOR_FORMAT[] = "MP%02d\r";
inline constexpr char WRITE_SECTOR_FORMAT[] = "WR%02d\r";
inline constexpr char DOWNLOAD[] = "DL\r";
inline constexpr char DOWNLOAD_PROGRAM[] = "DP\r";
inline constexpr char CHECKSUM[] = "cs\r";
inline constexpr char WRITE_WORD_FORMAT[] = "ms/w%x=%s\r";
inline constexpr char WRITE_BOOT[] = "FMONWR\r";
inline constexpr char GO[] = "GO\r";
// A termination record: ends a download the monitor is still taking (S9, address 0).
inline constexpr char END_DOWNLOAD[] = "S9030000FC\r\n";

// Prompts and texts looked for in replies.
inline constexpr char MONITOR_PROMPT[] = "F1>";
// The flash monitor's prompt and its error word are the recognizer's own (ResponseMatcher.h).
using serial_words::FROM_PROMPT;
inline constexpr char SHELL_PROMPT_TEXT[] = "\r\n# ";
inline constexpr char VERSION_MARK[] = "Version ";
inline constexpr char DOWNLOAD_DONE[] = "Down Load OK";
inline constexpr char PROGRAM_DOWNLOAD_DONE[] = "Program Down Load OK";
inline constexpr char CHECKSUM_ZERO[] = "0000";

inline constexpr int64_t WAKE_TIMEOUT_MS = 1000;
inline constexpr int64_t FROM_TIMEOUT_MS = 3000;
inline constexpr int64_t FROM_CYCLE_TIMEOUT_MS = 1000;
inline constexpr int64_t IDENTIFY_TIMEOUT_MS = 10000;
inline constexpr int64_t LOOK_TIMEOUT_MS = 1000;  // one bare line to see who answers
inline constexpr int64_t ENTER_MONITOR_TIMEOUT_MS = 500;
inline constexpr int64_t MONITOR_RESTART_PAUSE_MS = 14500;  // the device restarts into its monitor
inline constexpr int MONITOR_PROMPT_CYCLES = 10;
inline constexpr int64_t MONITOR_CYCLE_PAUSE_MS = 1000;
inline constexpr int64_t QUERY_TIMEOUT_MS = 3000;
inline constexpr int64_t SHELL_TIMEOUT_MS = 3000;
inline constexpr int64_t STARTUP_EXIT_TIMEOUT_MS = 5000;
inline constexpr int64_t SHORT_NUDGE_TIMEOUT_MS = 500;
inline constexpr int64_t PORT_SETTLE_MS = 1000;  // after opening, before the probe
inline constexpr int64_t ATTENTION_TIMEOUT_MS = 3000;
inline constexpr int64_t RESTART_REOPEN_PAUSE_MS = 25000;
inline constexpr int64_t RETEST_PAUSE_MS = 3000;
inline constexpr int64_t CHECKSUM_SETTLE_MS = 500;
inline constexpr int64_t CHECKSUM_TIMEOUT_MS = 10000;
inline constexpr int64_t DOWNLOAD_TIMEOUT_MS = 5000;
inline constexpr int64_t DOWNLOAD_PROGRAM_TIMEOUT_MS = 7000;
inline constexpr int64_t BOOT_WATCHDOG_MS = 120000;
inline constexpr int64_t FPGA_WATCHDOG_MS = 60000;
inline constexpr int64_t PROGRAM_WATCHDOG_MS = 1200000;
inline constexpr int64_t ERASE_TIMEOUT_MS = 5000;
inline constexpr int64_t SECTOR_PROGRAM_TIMEOUT_MS = 3000;
inline constexpr int64_t SECTOR_WRITE_TIMEOUT_MS = 5000;
inline constexpr int64_t FLASH_WRITE_TIMEOUT_MS = 5000;
inline constexpr int64_t AFTER_DOWNLOAD_PAUSE_MS = 500;
inline constexpr int64_t GO_TIMEOUT_MS = 500;
inline constexpr int64_t START_TIMEOUT_MS = 5000;
inline constexpr int START_ATTEMPTS = 10;
inline constexpr int64_t MONITOR_RUN_SETTLE_MS = 10000;  // a device started from its monitor
inline constexpr int64_t RESTART_TIMEOUT_MS = 500;

}  // namespace verup::serial_cmd
