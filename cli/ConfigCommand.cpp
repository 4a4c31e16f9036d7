// `verup config`: the configuration as the start-up sees it.
#include "ConfigCommand.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "Commands.h"
#include "app/DialogTexts.h"
#include "image/ImagePreflight.h"
#include "package/ConfigReader.h"
#include "package/Package.h"
#include "package/PackageIdentity.h"
#include "package/VersionNumber.h"
#include "platform/Cp932.h"
#include "settings/SettingsPlan.h"

namespace verup::cli {
namespace {

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string Real(double value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

std::string Quoted(const std::string& cp932) { return "\"" + Cp932ToUtf8(cp932) + "\""; }

class Printer {
public:
    Printer(const Config& cfg, std::ostream& out) : cfg_(cfg), out_(out) {}
    void Section(const char* name)
    {
        section_ = name;
        out_ << "[" << name << "]\n";
    }
    void Value(const std::string& key, const std::string& value, const std::string& note = "")
    {
        out_ << "  " << key << std::string(key.size() < 17 ? 17 - key.size() : 1, ' ') << "= " << value;
        const bool defaulted = std::find(cfg_.DefaultedKeys.begin(), cfg_.DefaultedKeys.end(),
                                         section_ + "." + key) != cfg_.DefaultedKeys.end();
        if (defaulted)
            out_ << "  (default: key absent)";
        if (!note.empty())
            out_ << "  (" << note << ")";
        out_ << "\n";
    }

private:
    const Config& cfg_;
    std::ostream& out_;
    std::string section_;
};

void PrintConfiguration(const Config& cfg, std::ostream& out)
{
    Printer p(cfg, out);
    p.Section("MODE");
    p.Value("DEBUG", std::to_string(cfg.DEBUG), cfg.DEBUG == 99 ? "debug mode" : "");
    p.Value("SEL", std::to_string(cfg.SEL),
            cfg.SEL == 0 ? "LAN address only" : cfg.SEL == 1 ? "COM port only" : "serial or LAN");
    p.Value("RETRY", std::to_string(cfg.RETRY), cfg.RETRY <= 0 ? "no attempt at all: every LAN start-up fails" : "");
    p.Value("CRC", std::to_string(cfg.CRC), cfg.CRC == 1 ? "CRC transfers" : "plain transfers");
    p.Value("AUTO", std::to_string(cfg.AUTO), cfg.AUTO == 1 ? "unattended" : "");
    p.Value("SAVE", std::to_string(cfg.SAVE));
    p.Value("LANBOOT", std::to_string(cfg.LANBOOT), "seconds");
    p.Value("UPLOAD", std::to_string(cfg.UPLOAD), cfg.UPLOAD == 1 ? "write the images" : "settings steps only");
    p.Section("AREA");
    p.Value("MAIN", std::to_string(cfg.MAIN));
    p.Value("FPGA", std::to_string(cfg.FPGA));
    p.Value("DATA", std::to_string(cfg.DATA));
    p.Value("PROG_RAM_STR_ADR", Hex(cfg.PROG_RAM_STR_ADR));
    p.Value("PROG_RAM_END_ADR", Hex(cfg.PROG_RAM_END_ADR));
    p.Value("FRAM_END_ADR", Hex(cfg.FRAM_END_ADR));
    p.Value("CHECK_SUM_ADR", Hex(cfg.CHECK_SUM_ADR));
    p.Value("SECT_END_ADR", Hex(cfg.SECT_END_ADR));
    p.Value("FPGA_DATA_LEN", Hex(cfg.FPGA_DATA_LEN));
    p.Value("FPGA1_STR_ADR", Hex(cfg.FPGA1_STR_ADR));
    p.Value("FPGA2_STR_ADR", Hex(cfg.FPGA2_STR_ADR));
    p.Section("VERUP");
    p.Value("NAME1", Quoted(cfg.NAME1));
    p.Value("NAME2", Quoted(cfg.NAME2));
    p.Value("KIKI1", Quoted(cfg.KIKI1));
    p.Value("KIKI2", Quoted(cfg.KIKI2));
    p.Value("FRM_VER", Real(cfg.FRM_VER));
    p.Value("TEL_VER", Real(cfg.TEL_VER));
    p.Value("NUM_LEN", std::to_string(cfg.NUM_LEN), "at most 30");
    p.Value("NUM", Quoted(cfg.NUM), "at most 30 characters kept");
    p.Value("REV_VER", std::to_string(cfg.REV_VER));
    p.Value("FP_LEN", std::to_string(cfg.FP_LEN), "at most 17");
    for (int i = 0; i < cfg.FP_LEN; ++i) {
        char first[16];
        char second[16];
        std::snprintf(first, sizeof first, "FP%02X", i);
        std::snprintf(second, sizeof second, "FP%02X", i + 16);
        p.Value(first, std::to_string(cfg.FpgaParams1[i]), "first FPGA, parameter " + std::to_string(i));
        p.Value(second, std::to_string(cfg.FpgaParams2[i]), "second FPGA, parameter " + std::to_string(i));
    }
}

std::string SizeText(uint32_t size) { return size == 0 ? "missing or empty" : std::to_string(size) + " bytes"; }

std::string LayoutText(const SettingsLayoutTable& table)
{
    std::string text = std::to_string(table.BlockCount) + " blocks";
    if (table.BlockCount > 0) {
        text += ", items per block:";
        for (int count : table.ItemCounts)
            text += " " + std::to_string(count);
    }
    if (table.Capped)
        text += " (capped to 128 blocks of at most 1024 items)";
    return text;
}

int PrintDecision(const Config& cfg, const std::string& device_version, std::ostream& out)
{
    const std::string text = Utf8ToCp932(device_version);
    // The device's version line as QueryDeviceInfo keeps it, and the version text as shown.
    DeviceIdentity device;
    device.FirmwareVersionText = text;
    device.CurrentVersionText = CutText(text, cfg.NUM_LEN);
    const std::string new_version = CutText(cfg.NUM, cfg.NUM_LEN);

    out << "\nSettings decision for the device version \"" << device_version << "\":\n";
    out << "  current version text: " << Quoted(device.CurrentVersionText) << " reads "
        << Real(ReadVersionNumber(device.CurrentVersionText, cfg.NUM_LEN)) << "\n";
    out << "  new version text:     " << Quoted(new_version) << " reads "
        << Real(ReadVersionNumber(new_version, cfg.NUM_LEN)) << "\n";
    const SettingsPlan plan = DecideSettingsPlan(cfg, device, new_version);
    std::vector<std::string> messages = plan.Warnings;
    if (plan.Refused)
        messages.push_back(plan.RefusalMessage);
    for (const auto& message : messages) {
        std::string shown = Cp932ToUtf8(message);
        for (std::size_t at = shown.find("\r\n"); at != std::string::npos; at = shown.find("\r\n", at))
            shown.replace(at, 2, "\n           ");
        out << "  message: " << shown << "\n";
    }
    if (plan.Refused) {
        out << "  the start-up ends here with that message\n";
        return CONFIG_DEVICE_REFUSED;
    }
    if (plan.DeviceVersion != 0.0 || plan.DeviceRevision != 0)
        out << "  device firmware " << Real(plan.DeviceVersion) << ", revision " << plan.DeviceRevision << "\n";
    out << "  SAVE " << cfg.SAVE << " -> " << plan.Save << ", SettingsReset " << plan.SettingsReset
        << ", OldLayoutSave " << plan.OldLayoutSave << ", ConvertOnRestore " << plan.ConvertOnRestore
        << ", AddedBlockCount " << plan.AddedBlockCount << "\n";
    if (plan.ConvertOnRestore == 1) {
        out << "  layout O_SAVE: " << LayoutText(plan.Layout) << "\n";
        out << "  conversion C_DATA: " << LayoutText(plan.ConversionLayout) << "\n";
    } else if (plan.OldLayoutSave == 1) {
        out << "  layout O_SAVE: " << LayoutText(plan.Layout) << "\n";
    } else if (plan.Layout.BlockCount > 0 || plan.SettingsReset == 0) {
        out << "  layout N_SAVE: " << LayoutText(plan.Layout) << "\n";
    } else {
        out << "  no layout: the settings are initialised\n";
    }
    return CONFIG_OK;
}

}  // namespace

int RunConfigCommand(const ConfigOptions& options, std::ostream& out)
{
    const Package package = Package::Read(options.PackageDirectory, PackageImages::Skip);
    const Config& cfg = package.Configuration();
    const bool accepted = package.Presence().Accepted;
    const std::string title = MakeTitleText(cfg);
    const ImagePresence& present = package.Presence();

    out << "Configuration file: " << package.ConfigFilePath() << " (" << SizeText(present.ConfigFileSize) << ")\n";
    PrintConfiguration(cfg, out);

    out << "\nDerived:\n";
    out << "  title:              " << Quoted(title) << "\n";
    out << "  title with version: " << Quoted(MakeTitleVersionText(title)) << "\n";
    out << "  new version text:   " << Quoted(CutText(cfg.NUM, cfg.NUM_LEN)) << "\n";
    out << "  program area size:  " << Hex(cfg.ProgramAreaSize()) << "\n";
    // Named once the device is known.
    out << "  settings backup:    \n";

    out << "\nPackage in " << package.Directory() << ":\n";
    out << "  rt00.mot:   " << SizeText(present.ImageFileSizes[0]) << "\n";
    out << "  fpga01.mot: " << SizeText(present.ImageFileSizes[1]) << "\n";
    out << "  fpga02.mot: " << SizeText(present.ImageFileSizes[2]) << "\n";
    out << "  from00.mot: " << SizeText(present.ImageFileSizes[4]) << "\n";
    const auto identity = CheckPackageIdentity(cfg);
    if (accepted && identity.empty())
        out << "  accepted\n";
    if (!accepted) {
        out << "  REFUSED, the start-up would show \"" << Cp932ToUtf8(kMsgFilesMissing) << "\":\n";
        for (const auto& reason : present.Refusals)
            out << "    - " << reason << "\n";
    }
    for (const auto& refusal : identity) {
        std::string message = Cp932ToUtf8(refusal.Message);
        message = message.substr(0, message.find('\r'));
        out << "  REFUSED, the start-up would show \"" << message << "\":\n";
        out << "    - " << Cp932ToUtf8(refusal.Reason) << "\n";
    }

    // The update refuses to write a program into a layout that cannot hold it.
    bool layout_ok = true;
    if (present.ProgramPresent) {
        const std::string layout = CheckProgramLayout(cfg);
        if (layout.empty()) {
            out << "  flash layout: rt00.mot goes into areas 1 ... " << cfg.MAIN << " in sectors of "
                << Hex(cfg.SECT_END_ADR + 1u) << " bytes\n";
        } else if (cfg.UPLOAD != 1) {
            out << "  flash layout: " << layout << " (no matter here: UPLOAD is not 1)\n";
        } else {
            out << "  flash layout REFUSED, the update would write nothing: " << layout
                << "; correct SECT_END_ADR or MAIN in verup.dat\n";
            layout_ok = false;
        }
    }

    int code = accepted && layout_ok && identity.empty() ? CONFIG_OK : CONFIG_PACKAGE_REFUSED;
    if (options.DeviceVersion) {
        const int decision = PrintDecision(cfg, *options.DeviceVersion, out);
        if (code == CONFIG_OK)
            code = decision;
    }
    return code;
}

}  // namespace verup::cli

void AddConfigCommand(CLI::App& app)
{
    auto options = std::make_shared<verup::cli::ConfigOptions>();
    CLI::App* config = app.add_subcommand(
        "config", "Show verup.dat as the start-up reads it, the package check and the settings decision");
    config->add_option("--device-version", options->DeviceVersion,
                       "The device's version line, e.g. \"Version 1.05\" or \"Version 1.10 3\" (revision after the "
                       "version text): show the settings decision for it")
        ->option_text("TEXT");
    config->footer("Values marked \"default\" are absent from verup.dat. Texts are shown in UTF-8.\n"
                   "Exit codes: 0 accepted, 2 package refused (its files, or a flash layout that cannot hold the\n"
                   "program), 3 the device's firmware is refused.");
    config->callback([options]() {
        std::error_code ec;
        options->PackageDirectory = std::filesystem::current_path(ec).string();
        const int code = verup::cli::RunConfigCommand(*options, std::cout);
        if (code != verup::cli::CONFIG_OK)
            throw CLI::RuntimeError(code);
    });
}
