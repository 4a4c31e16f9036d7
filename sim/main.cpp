// verup-devsim: a simulated NEXAVO7300QB on a pseudo-terminal and a loopback telnet port.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "Inspection.h"
#include "PackageMaker.h"
#include "SimHarness.h"

namespace {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitStartFailed = 2;
constexpr int kExitBadFault = 3;

bool ParseFaults(const std::vector<std::string>& texts, std::vector<devsim::CountedFault>& out, const char* flag)
{
    for (const auto& text : texts) {
        devsim::CountedFault fault;
        if (!devsim::ParseCountedFault(text, fault)) {
            std::cerr << flag << ": expected CMD:N (N from 1), got \"" << text << "\"\n";
            return false;
        }
        out.push_back(fault);
    }
    return true;
}

int Inspect(devsim::HarnessOptions& options, double scale, int dump_area, const std::string& dump_path)
{
    options.Device.ReadOnly = true;
    const verup::Clock clock(scale);
    devsim::SimDevice device(options.Profile, options.Device, clock);
    std::string error;
    if (!device.PowerOn(&error, false)) {
        std::cerr << "verup-devsim: " << error << "\n";
        return kExitStartFailed;
    }
    std::cout << devsim::DescribeDevice(device);
    if (dump_area >= 0) {
        if (!devsim::DumpArea(device, dump_area, dump_path, &error)) {
            std::cerr << "verup-devsim: " << error << "\n";
            return kExitStartFailed;
        }
        std::cout << "area " << dump_area << " written to " << dump_path << "\n";
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Simulated NEXAVO7300QB: serial port on a pseudo-terminal, telnet server on a loopback port.\n"
                 "Prints the pty path and the port, then runs until interrupted."};
    app.set_version_flag("--version", VERUP_VERSION, "Print the version and exit");

    devsim::HarnessOptions options;
    std::string package;
    double time_scale = 0;
    bool no_serial = false;
    bool no_telnet = false;
    bool inspect = false;
    std::vector<std::string> dump;
    std::vector<std::string> no_reply, error_word, kanji_error;
    auto& dev = options.Device;
    auto& faults = options.Device.Faults;
    options.Telnet.Port = 2323;

    app.add_option("--package", package, "package directory whose verup.dat gives the flash layout, "
                                         "identification words and settings layouts (default: the built-in demo package)");
    app.add_option("--link", options.Serial.LinkPath, "make a symbolic link PATH to the pty's slave side");
    app.add_option("--telnet-port", options.Telnet.Port, "telnet port (default 2323; 0 = any free port)");
    app.add_option("--telnet-address", options.Telnet.BindAddress,
                   "loopback address to serve telnet on (default 127.0.0.1; 127.0.0.2 ... give a fleet one port each)");
    app.add_option("--mac", dev.Mac, "Eth0 MAC address XX:XX:XX:XX:XX:XX; Eth1, WL0, Usb0 follow it (default 00:80:6D:73:00:10)");
    app.add_flag("--no-serial", no_serial, "no pseudo-terminal");
    app.add_flag("--no-telnet", no_telnet, "no telnet server");
    app.add_flag("--baud-pacing", options.Serial.BaudPacing, "pace serial input and output to 115200 baud 8N1");
    app.add_option("--time-scale", time_scale, "divide every device time by this (default: VERUP_TIME_SCALE, else 1)");
    app.add_option("--state", dev.StatePath, "keep flash and settings in FILE across runs (written at every flash change)");
    app.add_option("--firmware-version", dev.FirmwareVersion, "version text of a fresh device's firmware (default \"Version 1.10\")");
    app.add_option("--revision", dev.Revision, "revision of a fresh device's firmware (default 3)");
    app.add_option("--restart-ms", dev.RestartMs, "device ms a restart takes (default 4000)");
    app.add_option("--product", dev.Product, "identification word in \"ati\" and the telnet banner (default: KIKI1)");
    app.add_option("--telnet-server-version", dev.TelnetServerVersion, "telnet server version text (default \"Version 2.00\")");
    const std::map<std::string, devsim::StartLevel> levels = {
        {"firmware", devsim::StartLevel::Firmware},         {"shell", devsim::StartLevel::Shell},
        {"monitor", devsim::StartLevel::Monitor},           {"flash-monitor", devsim::StartLevel::FlashMonitor},
        {"download", devsim::StartLevel::Download}};
    app.add_option("--start-in", dev.StartIn,
                   "where the device starts, as a killed run may leave it: firmware (default), shell (after "
                   "ATT1), monitor (F1>), flash-monitor (F-ROM>), download (half-way through a monitor download)")
        ->transform(CLI::CheckedTransformer(levels, CLI::ignore_case))
        ->option_text("LEVEL");
    app.add_flag("--inspect", inspect, "print what the device (--state) holds and exit");
    app.add_option("--dump-area", dump, "with --inspect: write flash area N to FILE")->expected(2);

    auto* f = app.add_option_group("Faults");
    f->add_option("--no-reply", no_reply, "no reply to the Nth command that begins with CMD (CMD:N, repeatable)");
    f->add_option("--error-word", error_word, "\"ERROR!\" in the reply to the Nth CMD (CMD:N)");
    f->add_option("--kanji-error", kanji_error, "the CP932 error word in the reply to the Nth CMD (CMD:N)");
    f->add_option("--dl-error", faults.DlError, "answer the Nth telnet download block with \"\\r\\nDL.ERROR\"");
    f->add_option("--bad-upload-fcs", faults.BadUploadFcs, "corrupt the FCS of the Nth upload");
    f->add_flag("--no-return", faults.NoReturn, "the device does not come back after a restart");
    f->add_option("--return-after", faults.ReturnAfter, "after a restart, leave K connections / probes unanswered");
    f->add_option("--version-override", faults.VersionOverride, "report TEXT as the version once a program was written");
    f->add_flag("--refuse-login", faults.RefuseLogin, "refuse the telnet password");
    f->add_option("--drop-mid-block", faults.DropMidBlock, "drop the connection in the middle of the Nth download block");
    f->add_option("--reply-delay", faults.ReplyDelayMs, "device ms before every reply");
    f->add_option("--stream-error", faults.StreamErrorLine, "\"ERROR!\" at streamed monitor line N (once)");
    f->add_flag("--savedata-not-saved", faults.SavedataNotSaved,
                "answer \"savedata restart\" and restart without storing the settings");
    f->add_flag("--late-prompt-blank", faults.LatePromptBlank,
                "telnet prompts end in a blank sent only when the next command arrives");
    f->add_option("--upload-segment-ms", faults.UploadSegmentMs,
                  "send an upload's reply in 16 KiB segments MS device ms apart");
    std::vector<std::string> settings_items;
    app.add_option("--settings-item", settings_items, "set item I of block B of a fresh device's settings to TEXT "
                                                      "(B.I=TEXT, repeatable)");

    auto* make = app.add_subcommand("make-package", "write a consistent update package into DIR");
    devsim::PackageOptions pkg;
    std::string make_dir;
    bool no_program = false, no_fpga = false, no_boot = false;
    make->add_option("dir", make_dir, "package directory")->required();
    make->add_option("--version", pkg.Version, "NUM: new firmware version text (default \"Version 1.20\")");
    make->add_option("--revision", pkg.Revision, "REV_VER and the revision in the program (default 3)");
    make->add_option("--program-size", pkg.ProgramSize, "bytes of program data in rt00.mot (default 204800, at most 27 x 64 KiB)");
    make->add_flag("--no-program", no_program, "leave out rt00.mot");
    make->add_flag("--no-fpga", no_fpga, "leave out fpga01.mot and fpga02.mot");
    make->add_flag("--no-boot", no_boot, "leave out from00.mot");
    make->add_option("--save", pkg.Save, "MODE SAVE (default 2)");
    make->add_option("--crc", pkg.Crc, "MODE CRC (default 1)");
    make->add_option("--sel", pkg.Sel, "MODE SEL (default 2)");
    make->add_option("--retry", pkg.Retry, "MODE RETRY (default 3)");
    make->add_option("--debug", pkg.Debug, "MODE DEBUG (default 99)");
    make->add_option("--lanboot", pkg.Lanboot, "MODE LANBOOT in seconds (default 10)");
    make->add_option("--upload", pkg.Upload, "MODE UPLOAD (default 1)");
    make->add_option("--frm-ver", pkg.FrmVer, "FRM_VER (default 1.00)");
    make->add_option("--tel-ver", pkg.TelVer, "TEL_VER (default 1.50)");
    make->add_option("--address", pkg.Address, "IPADDR FIELD (default 127.0.0.1)");

    auto* insp = app.add_subcommand("inspect", "print what a state file holds (inspect --state FILE [--package DIR])");
    insp->fallthrough();
    insp->add_option("--dump-area", dump, "write flash area N to FILE")->expected(2);

    CLI11_PARSE(app, argc, argv);

    if (make->parsed()) {
        pkg.Program = !no_program;
        pkg.Fpga = !no_fpga;
        pkg.Boot = !no_boot;
        std::string error;
        if (!devsim::WritePackage(make_dir, pkg, &error)) {
            std::cerr << "verup-devsim: " << error << "\n";
            return kExitStartFailed;
        }
        std::cout << "package written to " << make_dir << "\n";
        return kExitOk;
    }

    if (!ParseFaults(no_reply, faults.NoReply, "--no-reply") || !ParseFaults(error_word, faults.ErrorWord, "--error-word") ||
        !ParseFaults(kanji_error, faults.KanjiError, "--kanji-error"))
        return kExitBadFault;
    if (std::array<uint8_t, 6> mac{}; !devsim::ParseMac(dev.Mac, mac)) {
        std::cerr << "--mac: expected XX:XX:XX:XX:XX:XX with a last byte of at most FC, got \"" << dev.Mac << "\"\n";
        return kExitBadFault;
    }
    if (options.Telnet.BindAddress.rfind("127.", 0) != 0) {
        // A simulated device never answers on a real network.
        std::cerr << "--telnet-address: a loopback address 127.x.y.z is needed, got \"" << options.Telnet.BindAddress
                  << "\"\n";
        return kExitBadFault;
    }
    for (const auto& text : settings_items) {
        devsim::SettingsItemEdit edit;
        if (!devsim::ParseSettingsItemEdit(text, edit)) {
            std::cerr << "--settings-item: expected B.I=TEXT (B and I from 1), got \"" << text << "\"\n";
            return kExitBadFault;
        }
        dev.SettingsItems.push_back(edit);
    }

    std::string error;
    if (!package.empty() && !devsim::SimHarness::UsePackage(options, package, &error)) {
        std::cerr << "verup-devsim: " << error << "\n";
        return kExitStartFailed;
    }
    const double scale = time_scale >= 1.0 ? time_scale : verup::Clock::ScaleFromText(std::getenv("VERUP_TIME_SCALE"));

    if (inspect || insp->parsed()) {
        int dump_area = -1;
        std::string dump_path;
        if (dump.size() == 2) {
            dump_area = std::atoi(dump[0].c_str());
            dump_path = dump[1];
        }
        return Inspect(options, scale, dump_area, dump_path);
    }

    options.WithSerial = !no_serial;
    options.WithTelnet = !no_telnet;
    // Signals are taken by sigwait below, not by the threads the harness starts.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    devsim::SimHarness harness(options, verup::Clock(scale));
    if (!harness.Start(&error)) {
        std::cerr << "verup-devsim: " << error << "\n";
        return kExitStartFailed;
    }
    if (options.WithSerial)
        std::cout << "pty: " << harness.PtyPath() << "\n";
    if (options.WithTelnet)
        std::cout << "telnet: " << options.Telnet.BindAddress << ":" << harness.TelnetPort() << "\n";
    std::cout << "mode: " << devsim::RunModeName(harness.Device().Mode()) << ", " << harness.Device().VersionText() << "\n";
    std::cout.flush();
    int sig = 0;
    sigwait(&signals, &sig);
    harness.Stop();
    return kExitOk;
}
