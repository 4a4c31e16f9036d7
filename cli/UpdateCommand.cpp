// `verup` without a subcommand: the same start-up and update as the window, on the console.
#include "UpdateCommand.h"

#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>

#include "Commands.h"
#include "ConsoleHost.h"
#include "MessageTap.h"
#include "SettingsCommand.h"
#include "UpdateReport.h"
#include "app/CUpdateDlg.h"
#include "lan/TelnetLink.h"
#include "package/ConfigReader.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Cp932.h"
#include "platform/Paths.h"
#include "platform/SerialPortNames.h"
#include "protocol/UpdatePlan.h"
#include "ui/ConnectionTexts.h"
#include "ui/IsValidAddress.h"

namespace verup::cli {
namespace {

constexpr char kExitCodesHelp[] =
    "Without a subcommand verup updates the device: it runs the start-up (package check, connection,\n"
    "device identification, settings decision) and then the update, as the window does.\n"
    "Exit codes of the update: 0 done; 1 the update failed (also when the settings could not be\n"
    "saved, which stops it before anything is erased, and when the device did not come back after a\n"
    "restart); 2 the start-up refused (package, port, device, or another verup updating that\n"
    "device); 3 done but the settings were not confirmed as restored (the backup file is kept and\n"
    "its path printed); 64 wrong command line.\n"
    "Runs on different devices may go side by side (docs/fleet.md); one device takes one run.\n"
    "With --json the run ends with one JSON document on stdout whatever the outcome (its fields are\n"
    "described in docs/json.md); progress and messages then go to stderr.";

// The final status texts of the window (UTF-8), for a worker that did not set its outcome.
constexpr char kStatusFailed[] = "バージョンアップ異常";
constexpr char kStatusSettingsLost[] = "(設定の復元に失敗)";
constexpr char kStatusDone[] = "バージョンアップ完了";

// Debug-log texts end their lines in CR LF; the file is UTF-8 with LF.
std::string LogText(const std::string& cp932)
{
    std::string text = Cp932ToUtf8(cp932);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    return out;
}

CUpdateDlg::Outcome OutcomeOf(const CUpdateDlg& dlg)
{
    const CUpdateDlg::Outcome outcome = dlg.UpdateOutcome();
    if (outcome != CUpdateDlg::Outcome::NotRun)
        return outcome;
    const std::string status = Cp932ToUtf8(dlg.StatusText());
    if (status.find(kStatusFailed) != std::string::npos)
        return CUpdateDlg::Outcome::Failed;
    if (status.find(kStatusSettingsLost) != std::string::npos)
        return CUpdateDlg::Outcome::SettingsNotRestored;
    if (status.find(kStatusDone) != std::string::npos)
        return CUpdateDlg::Outcome::Done;
    return CUpdateDlg::Outcome::Failed;
}

std::string Bytes(uint32_t size)
{
    return std::to_string(size) + " bytes";
}


std::string SettingsPlan(const CUpdateDlg& dlg)
{
    const int save = dlg.cfg().SAVE;
    if (dlg.SettingsDecision().SettingsReset)
        return "reset to their defaults (this pair of firmware versions cannot carry them)";
    if (dlg.LinkKind() == 0 && dlg.Identity().ProbeResult != PROBE_FIRMWARE)
        return "not carried (the device is in its boot monitor)";
    if (save == 0)
        return "not carried (SAVE=0 in verup.dat)";
    if (dlg.LinkKind() != 0 && save == 1)
        return "the settings area (31) is read before the update and written back after it";
    if (save != 1 && save != 2)
        return "not carried (SAVE=" + std::to_string(save) + " in verup.dat)";
    std::string text = std::string("saved block by block (") + (dlg.SettingsDecision().OldLayoutSave ? "O_SAVE: " : "N_SAVE: ") +
                       LayoutText(dlg.Carrier().SettingsLayout) + ") into " + dlg.Carrier().BackupFilePath + ", then restored";
    if (dlg.Carrier().ConvertOnRestore)
        text += " after re-laying them for the new firmware (C_DATA: " + LayoutText(dlg.Carrier().ConversionLayout) +
                ", written as C_SAVE)";
    return text;
}

// False when the update would refuse the package's images (the dry run then says why).
bool PrintPlan(const CUpdateDlg& dlg, const ConsoleHost& host, std::ostream& out)
{
    const UpdatePlan plan = dlg.Plan();
    const DeviceIdentity device = dlg.Identity();
    const char* state = dlg.LinkKind() != 0                          ? "logged in over telnet"
                        : device.ProbeResult == PROBE_FIRMWARE      ? "running its firmware"
                        : device.ProbeResult == PROBE_FLASH_MONITOR ? "in its boot monitor"
                                                                   : "not identified";
    out << "Device:      " << Cp932ToUtf8(dlg.cfg().NAME1) << " via " << host.LinkDescription() << ", " << state << "\n";
    if (!device.FirmwareVersionText.empty())
        out << "Reports:     " << Cp932ToUtf8(device.FirmwareVersionText) << "\n";
    out << "Version:     " << Cp932ToUtf8(dlg.CurrentVersionText()) << " -> " << Cp932ToUtf8(dlg.NewVersionText())
        << "\n";
    out << "Settings:    " << SettingsPlan(dlg) << "\n";
    if (!plan.WritesFirmware) {
        out << "Would write: no firmware (UPLOAD=" << dlg.cfg().UPLOAD << " in verup.dat: only the settings are carried)\n";
    } else {
        out << "Would write:\n";
        const ImagePresence& present = dlg.UpdatePackage().Presence();
        if (present.ProgramPresent)
            out << "  rt00.mot                 " << Bytes(present.ImageFileSizes[0]) << "  main program (areas 1 ... "
                << dlg.cfg().MAIN << ", data area " << dlg.cfg().DATA << " erased)\n";
        if (present.FpgaImageCount == 2)
            out << "  fpga01.mot, fpga02.mot   " << Bytes(present.ImageFileSizes[1]) << ", " << Bytes(present.ImageFileSizes[2])
                << "  FPGA configurations (area " << dlg.cfg().FPGA << ")\n";
        if (present.BootPresent)
            out << "  from00.mot               " << Bytes(present.ImageFileSizes[4]) << "  boot area with the flash monitor\n";
        // The same check the update makes before its first erase.
        if (plan.Refused()) {
            out << "Would refuse: the package cannot be written as it is; the update would stop before the first "
                   "erase:\n";
            for (const std::string& problem : plan.Refusals)
                out << "  " << problem << "\n";
        } else {
            const std::uint8_t sectors = dlg.UpdatePackage().Images().SectorCount();
            out << "Images:      every image converts to its termination record and fits the flash";
            if (sectors > 0)
                out << " (program: " << static_cast<int>(sectors) << " sectors)";
            out << "\n";
        }
    }
    // Numbered as a technician follows the run: what is erased and written, in order.
    out << "Plan:\n";
    const int width = plan.Steps.size() >= 10 ? 2 : 1;
    for (std::size_t i = 0; i < plan.Steps.size(); ++i)
        out << "  " << std::setw(width) << i + 1 << ". " << plan.Steps[i].Text << "\n";
    out << "Dry run: the device was only asked who it is; nothing was written.\n";
    return !plan.Refused();
}

int ExitCodeOf(CUpdateDlg::Outcome outcome)
{
    switch (outcome) {
    case CUpdateDlg::Outcome::Done:
        return UPDATE_OK;
    case CUpdateDlg::Outcome::SettingsNotRestored:
        return UPDATE_SETTINGS_NOT_RESTORED;
    default:
        return UPDATE_FAILED;
    }
}

}  // namespace

std::optional<LinkChoice> ParseLinkChoice(const std::string& com, const std::string& lan, std::ostream& err,
                                          const std::string& port)
{
    LinkChoice choice;
    if (!port.empty()) {
        if (!com.empty() || !lan.empty()) {
            err << "verup: error: choose one link: --port, --com or --lan\n";
            return std::nullopt;
        }
        choice.PortPath = port;
    }
    if (!com.empty()) {
        if (com == "auto" || com == "AUTO")
            choice.ComPort = COM_AUTOMATIC;
        else if (com.size() == 1 && com[0] >= '1' && com[0] <= '9')
            choice.ComPort = com[0] - '0';
        else {
            err << "verup: error: --com takes a port number 1 ... 9 or auto, not \"" << com << "\"\n";
            return std::nullopt;
        }
    }
    if (!lan.empty()) {
        if (IsValidAddress(lan) != ADDRESS_ACCEPTABLE || lan.size() > kAddressMaxChars) {
            err << "verup: error: --lan takes the device's IPv4 address (for example 192.168.1.10), not \""
                << lan << "\"\n";
            return std::nullopt;
        }
        choice.Address = lan;
    }
    if (choice.ComPort && choice.Address) {
        err << "verup: error: choose one link: --com or --lan\n";
        return std::nullopt;
    }
    return choice;
}

bool RunSetup::Open(const std::string& log_file, double time_scale, std::ostream& err)
{
    env_ = StartupEnvironment::FromProcess();
    // Runs on different devices may go side by side; each device is locked on its own.
    env_.SingleInstance = false;
    env_.TimeScale = time_scale > 0 ? time_scale : Clock::ScaleFromText(std::getenv("VERUP_TIME_SCALE"));
    env_.TelnetPort = TelnetLink::PortFromText(std::getenv("VERUP_TELNET_PORT"));
    if (log_file.empty())
        return true;
    log_.open(log_file, std::ios::binary | std::ios::trunc);
    if (!log_) {
        err << "verup: error: cannot write the log file " << log_file << "\n";
        return false;
    }
    env_.LogSink = [this](const std::string& text) {
        std::lock_guard lock(log_mutex_);
        log_ << LogText(text) << std::flush;
    };
    return true;
}

namespace {

// Reads the dialog into the report on every way out of the run, after its teardown.
class ReportOnExit {
public:
    ReportOnExit(UpdateReport* report, const CUpdateDlg& dlg, const ConsoleHost& host)
        : report_(report), dlg_(dlg), host_(host)
    {
    }
    ReportOnExit(const ReportOnExit&) = delete;
    ReportOnExit& operator=(const ReportOnExit&) = delete;
    ~ReportOnExit()
    {
        if (report_)
            report_->Take(dlg_, host_);
    }

private:
    UpdateReport* report_;
    const CUpdateDlg& dlg_;
    const ConsoleHost& host_;
};

int RunUpdateSteps(const UpdateOptions& options, std::ostream& out, std::ostream& err, bool terminal,
                   UpdateReport* report)
{
    const std::optional<LinkChoice> choice = ParseLinkChoice(options.Com, options.Lan, err, options.Port);
    if (!choice)
        return UPDATE_USAGE;

    RunSetup setup;
    if (!setup.Open(options.LogFile, options.TimeScale, err))
        return UPDATE_USAGE;

    ConsoleHost host(out, err, terminal, *choice);
    CUpdateDlg dlg(host, setup.Environment());
    const ReportOnExit report_on_exit(report, dlg, host);

    const bool ready = dlg.OnInitDialog();
    host.FinishProgress();
    PrintStateFolderNotes(dlg, err);
    if (!ready) {
        dlg.OnClose();
        if (host.ConnectionProblem())
            return host.ConnectionUsageError() ? UPDATE_USAGE : UPDATE_STARTUP_REFUSED;
        if (host.MessageCount() == 0)
            err << "verup: error: the start-up ended early; run again with --log FILE to see why\n";
        return UPDATE_STARTUP_REFUSED;
    }
    host.Say("Ready: " + Cp932ToUtf8(dlg.CurrentVersionText()) + " -> " + Cp932ToUtf8(dlg.NewVersionText()));

    if (options.DryRun) {
        host.FinishProgress();
        const bool writable = PrintPlan(dlg, host, out);
        dlg.OnClose();
        // A package the update would refuse fails the dry run as it would fail the update.
        return writable ? UPDATE_OK : UPDATE_FAILED;
    }

    dlg.OnStart();
    dlg.JoinWorker();
    host.FinishProgress();
    const CUpdateDlg::Outcome outcome = OutcomeOf(dlg);
    dlg.OnClose();

    const int code = ExitCodeOf(outcome);
    out << "Result:      " << Cp932ToUtf8(dlg.StatusText()) << "\n";
    if (!dlg.OutcomeDetail().empty()) {
        std::string detail = dlg.OutcomeDetail();
        for (std::size_t p = detail.find('\n'); p != std::string::npos; p = detail.find('\n', p + 3))
            detail.replace(p, 1, "\n  ");
        err << "verup: " << (code == UPDATE_FAILED ? "error" : "warning") << ": " << detail << "\n";
    }
    if (code == UPDATE_SETTINGS_NOT_RESTORED) {
        if (FileExists(dlg.Carrier().BackupFilePath))
            err << "verup: warning: the device's settings were not restored; they are kept in " << dlg.Carrier().BackupFilePath
                << "\n";
        else
            err << "verup: warning: the device's settings could not be saved before the update and were not restored\n";
    } else if (code == UPDATE_FAILED && !dlg.ImagesRefusal().empty()) {
        err << "verup: error: the update failed before it wrote anything: the package cannot be written as it is, "
               "and the device was left as it was:\n";
        for (const std::string& problem : dlg.ImagesRefusal())
            err << "  " << problem << "\n";
        err << "verup: replace the damaged files with complete ones (or correct verup.dat) and run again; "
               "`verup images` runs the same check without a device\n";
    } else if (code == UPDATE_FAILED) {
        err << "verup: error: the update failed";
        if (!options.LogFile.empty())
            err << "; the log " << options.LogFile << " shows the step";
        else
            err << "; run again with --log FILE to see the step";
        err << "\n";
    }
    if (!dlg.Carrier().SettingsAreaKeptPath.empty() && FileExists(dlg.Carrier().SettingsAreaKeptPath))
        err << "verup: warning: the device's settings area (31) was not written back; its copy is kept in "
            << dlg.Carrier().SettingsAreaKeptPath << "\n";
    return code;
}

}  // namespace

int RunUpdate(const UpdateOptions& options, std::ostream& out, std::ostream& err, bool terminal)
{
    if (!options.Json)
        return RunUpdateSteps(options, out, err, terminal, nullptr);
    // `out` gets the document alone; the messages on their way to `err` are kept for it.
    MessageTap tap(*err.rdbuf());
    std::ostream human(&tap);
    UpdateReport report(CurrentDirectory(), options.DryRun);
    const int code = RunUpdateSteps(options, human, human, false, &report);
    human.flush();
    out << report.Document(code, tap.Messages()).dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
        << "\n"
        << std::flush;
    return code;
}

}  // namespace verup::cli

void AddUpdateCommand(CLI::App& app)
{
    using namespace verup::cli;
    auto options = std::make_shared<UpdateOptions>();
    // The update is the main command; the others are subcommands.
    app.require_subcommand(0, 1);
    auto* com = app.add_option("--com", options->Com, "Serial link: COM port 1 ... 9 (COMn is " VERUP_COM_NAME_TARGET
                                                      "), or auto to scan them")
                    ->option_text("N|auto");
    auto* lan = app.add_option("--lan", options->Lan, "LAN link: the device's IPv4 address")->option_text("ADDR");
    auto* port = app.add_option("--port", options->Port,
                                "Serial link on any serial device, for example /dev/ttyACM0 or a /dev/serial/by-id/ "
                                "link (`verup ports` lists them); never scanned past")
                     ->option_text("PATH");
    com->excludes(lan);
    port->excludes(com)->excludes(lan);
    app.add_flag("--dry-run", options->DryRun,
                 "Stop after the start-up: show the device, its versions, the settings decision, what would be "
                 "written, and the update's steps in order (what is erased and written where)");
    app.add_flag("--json", options->Json,
                 "Write one JSON document about the run to stdout when it ends (the text goes to stderr)");
    app.add_option("--log", options->LogFile, "Write the debug log (UTF-8) to FILE, whatever DEBUG says")
        ->option_text("FILE");
    app.add_option("--time-scale", options->TimeScale, "Divide every wait and time-out by X (simulated devices only)")
        ->option_text("X")
        ->check(CLI::Range(1.0, 1.0e6));
    app.footer([] { return std::string(kExitCodesHelp); });
    app.callback([&app, options] {
        if (!app.get_subcommands().empty())
            return;
        const int code = RunUpdate(*options, std::cout, std::cerr, verup::StdoutIsTerminal());
        if (code != UPDATE_OK)
            throw CLI::RuntimeError(code);
    });
}
