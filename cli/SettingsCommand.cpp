#include "SettingsCommand.h"

#include <fstream>
#include <iomanip>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>

#include "Commands.h"
#include "ConsoleHost.h"
#include "UpdateCommand.h"
#include "app/CUpdateDlg.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Cp932.h"
#include "platform/Paths.h"
#include "platform/SerialPortNames.h"
#include "settings/KeptBackups.h"

namespace verup::cli {
namespace {

constexpr char kRestoreHelp[] =
    "Puts a settings file kept by an earlier run back on its device. The start-up runs as for the\n"
    "update (verup.dat of the current folder or -C DIR; the images are not needed); the file is\n"
    "re-laid first when the device's firmware numbers its settings the new way, written with\n"
    "putdata (a settings area file .bin: downloaded into area 31 over the LAN), and confirmed once\n"
    "the device is back. A confirmed file is deleted; any other outcome keeps it.\n"
    "Exit codes: 0 restored and confirmed; 2 refused (start-up, file, or another device's file);\n"
    "3 not restored (the file is kept); 64 wrong command line.";

std::string FileName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The option that reaches the same device again.
std::string LinkOption(const CUpdateDlg& dlg)
{
    if (dlg.LinkKind() != 0)
        return "--lan " + dlg.DeviceAddress();
    const std::string& name = dlg.PortName();
    if (ComNumber(name, 9) == 0)
        return "--port " + name;
    return "--com " + name.substr(3);
}

}  // namespace

void PrintStateFolderNotes(const CUpdateDlg& dlg, std::ostream& err)
{
    for (const std::string& note : dlg.StateFolderNotes())
        err << "verup: note: " << note << "\n";
    for (const KeptBackup& kept : dlg.KeptBackups()) {
        err << "verup: note: an earlier run kept this device's settings (" << kept.Note.Time << "): " << kept.Path
            << "\n";
        err << "  Put them back with: verup settings restore " << kept.Path << " " << LinkOption(dlg) << "\n";
    }
    err << std::flush;
}

int RunSettingsList(const std::string& state_directory, std::ostream& out)
{
    const std::vector<KeptBackup> kept = ListKeptBackups(state_directory);
    if (kept.empty()) {
        out << "No kept settings in " << state_directory << ".\n";
        return 0;
    }
    out << "Kept settings in " << state_directory << " (newest first):\n";
    out << std::left << std::setw(20) << "DEVICE" << std::setw(22) << "TIME (UTC)" << std::setw(16) << "FIRMWARE"
        << std::setw(16) << "ITEMS" << "FILE\n";
    for (const KeptBackup& k : kept) {
        const BackupNote& n = k.Note;
        std::string items;
        if (!k.HasNote)
            items = "?";
        else if (n.Kind == "area31")
            items = "area 31";
        else
            items = std::to_string(n.Items) + " " + n.Layout;
        out << std::setw(20) << (k.HasNote ? n.Device : "?") << std::setw(22) << n.Time << std::setw(16)
            << (k.HasNote && !n.Firmware.empty() ? n.Firmware : "?") << std::setw(16) << items << FileName(k.Path)
            << "\n";
    }
    out << "Put one back with: verup settings restore FILE (--com N | --port PATH | --lan ADDR)\n";
    return 0;
}

int RunSettingsRestore(const RestoreOptions& options, std::ostream& out, std::ostream& err, bool terminal)
{
    const std::optional<LinkChoice> choice = ParseLinkChoice(options.Com, options.Lan, err, options.Port);
    if (!choice)
        return RESTORE_USAGE;

    RunSetup setup;
    if (!setup.Open(options.LogFile, options.TimeScale, err))
        return RESTORE_USAGE;
    StartupEnvironment env = setup.Environment();
    env.RestoreOnly = true;
    // A bare name is one of `verup settings list`.
    std::string file = options.File;
    if (file.find('/') == std::string::npos && FileExists(JoinPath(env.StateDirectory, file)))
        file = JoinPath(env.StateDirectory, file);
    if (!FileExists(file)) {
        err << "verup: error: no such file: " << options.File << " (`verup settings list` shows the kept files)\n";
        return RESTORE_REFUSED;
    }

    ConsoleHost host(out, err, terminal, *choice);
    CUpdateDlg dlg(host, env);
    const bool ready = dlg.OnInitDialog();
    host.FinishProgress();
    for (const std::string& note : dlg.StateFolderNotes())
        err << "verup: note: " << note << "\n";
    if (!ready) {
        dlg.OnClose();
        if (host.ConnectionProblem())
            return host.ConnectionUsageError() ? RESTORE_USAGE : RESTORE_REFUSED;
        if (host.MessageCount() == 0)
            err << "verup: error: another verup is already running (lock in " << env.StateDirectory
                << "); wait until it has finished\n";
        return RESTORE_REFUSED;
    }
    host.Say("Device: " + Cp932ToUtf8(dlg.CurrentVersionText()) + " via " + host.LinkDescription());

    std::string reason;
    const CUpdateDlg::KeptRestore result = dlg.RestoreKeptBackup(file, options.AnyDevice, reason);
    host.FinishProgress();
    dlg.OnClose();
    switch (result) {
    case CUpdateDlg::KeptRestore::Confirmed:
        out << "Restored: the settings of " << file << " are back on the device and were read back; the file is "
            << "deleted.\n";
        return RESTORE_OK;
    case CUpdateDlg::KeptRestore::NotRestored:
        err << "verup: error: settings not restored: " << reason << "\n";
        return RESTORE_NOT_RESTORED;
    case CUpdateDlg::KeptRestore::Refused:
        break;
    }
    err << "verup: error: " << reason << "\n";
    return RESTORE_REFUSED;
}

}  // namespace verup::cli

void AddSettingsCommand(CLI::App& app)
{
    using namespace verup::cli;
    auto* settings = app.add_subcommand("settings", "The settings kept by runs that could not put them back");
    settings->require_subcommand(1);

    auto* list = settings->add_subcommand("list", "Show the kept settings files: device, UTC time, firmware, items");
    list->callback([] { RunSettingsList(verup::DefaultStateDirectory(), std::cout); });

    auto options = std::make_shared<RestoreOptions>();
    auto* restore = settings->add_subcommand("restore", "Put a kept settings file back on its device");
    restore->add_option("FILE", options->File, "A file of `verup settings list` (its name or its path)")->required();
    auto* com = restore->add_option("--com", options->Com, "Serial link: COM port 1 ... 9, or auto")
                    ->option_text("N|auto");
    auto* lan = restore->add_option("--lan", options->Lan, "LAN link: the device's IPv4 address")->option_text("ADDR");
    auto* port = restore->add_option("--port", options->Port, "Serial link on any serial device path")
                     ->option_text("PATH");
    com->excludes(lan);
    port->excludes(com)->excludes(lan);
    restore->add_flag("--any-device", options->AnyDevice,
                      "Write the settings also when the file names another device's MAC address");
    restore->add_option("--log", options->LogFile, "Write the debug log (UTF-8) to FILE")->option_text("FILE");
    restore->add_option("--time-scale", options->TimeScale, "Divide every wait and time-out by X (simulated devices only)")
        ->option_text("X")
        ->check(CLI::Range(1.0, 1.0e6));
    restore->footer(kRestoreHelp);
    restore->callback([options] {
        const int code = RunSettingsRestore(*options, std::cout, std::cerr, verup::StdoutIsTerminal());
        if (code != RESTORE_OK)
            throw CLI::RuntimeError(code);
    });
}
