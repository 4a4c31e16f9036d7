#pragma once
// `verup` without a subcommand: the window's start-up and update on the console.
#include <fstream>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "ConsoleHost.h"
#include "app/CUpdateDlg.h"
#include "platform/Clock.h"
#include "protocol/UpdatePlan.h"

namespace verup::cli {

// Exit codes of the update.
inline constexpr int UPDATE_OK = 0;
inline constexpr int UPDATE_FAILED = 1;               // a step failed, or the device was not reached again
inline constexpr int UPDATE_STARTUP_REFUSED = 2;      // the start-up ended (package, link, device)
inline constexpr int UPDATE_SETTINGS_NOT_RESTORED = 3;  // firmware written; settings not confirmed
inline constexpr int UPDATE_USAGE = 64;               // the command line is wrong

struct UpdateOptions {
    std::string Com;      // "1" ... "9" or "auto"; empty: what verup.dat proposes
    std::string Lan;      // device address; empty: what verup.dat proposes
    std::string Port;     // a serial device path instead of a COM number
    bool DryRun = false;  // stop after the start-up and tell what would be done
    std::string LogFile;  // the debug log (UTF-8), whatever DEBUG says
    double TimeScale = 0; // 0: VERUP_TIME_SCALE or 1
    bool Json = false;    // one JSON document on `out` at the end; the text for people on `err`
};

// The link of --com, --lan and --port; nullopt (reported on `err`) when one is malformed or
// more than one is given.
std::optional<LinkChoice> ParseLinkChoice(const std::string& com, const std::string& lan, std::ostream& err,
                                          const std::string& port = {});


// What a run that talks to the device sets up before its start-up: the time scale and telnet
// port (--time-scale, VERUP_TIME_SCALE, VERUP_TELNET_PORT) and the --log file (UTF-8, LF),
// shared by the update and `verup settings restore`.
class RunSetup {
public:
    RunSetup() = default;
    RunSetup(const RunSetup&) = delete;
    RunSetup& operator=(const RunSetup&) = delete;
    // False, with the message on `err`, when the log file cannot be written. Every reported
    // text goes to the log file, if there is one.
    bool Open(const std::string& log_file, double time_scale, std::ostream& err);
    const StartupEnvironment& Environment() const { return env_; }

private:
    StartupEnvironment env_;
    std::ofstream log_;
    std::mutex log_mutex_;
};

// Runs in the current directory. `terminal`: draw a progress bar instead of lines.
int RunUpdate(const UpdateOptions& options, std::ostream& out, std::ostream& err, bool terminal);

}  // namespace verup::cli
