// `verup config`: the configuration as the start-up sees it.
#include "ConfigCommand.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
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

// Writes each value as text, and into `values` as JSON when given.
class Printer {
public:
    Printer(const Config& cfg, std::ostream& out, nlohmann::json* values) : cfg_(cfg), out_(out), values_(values) {}
    void Section(const char* name)
    {
        section_ = name;
        out_ << "[" << name << "]\n";
    }
    void Int(const std::string& key, long long value, const std::string& note = "")
    {
        Value(key, std::to_string(value), value, note);
    }
    void Address(const std::string& key, uint32_t value) { Value(key, Hex(value), value, ""); }
    void Number(const std::string& key, double value) { Value(key, Real(value), value, ""); }
    void Text(const std::string& key, const std::string& cp932, const std::string& note = "")
    {
        Value(key, Quoted(cp932), Cp932ToUtf8(cp932), note);
    }

private:
    void Value(const std::string& key, const std::string& shown, const nlohmann::json& value, const std::string& note)
    {
        out_ << "  " << key << std::string(key.size() < 17 ? 17 - key.size() : 1, ' ') << "= " << shown;
        const bool defaulted = std::find(cfg_.DefaultedKeys.begin(), cfg_.DefaultedKeys.end(),
                                         section_ + "." + key) != cfg_.DefaultedKeys.end();
        if (defaulted)
            out_ << "  (default: key absent)";
        if (!note.empty())
            out_ << "  (" << note << ")";
        out_ << "\n";
        if (values_)
            values_->push_back({{"section", section_},
                                {"key", key},
                                {"value", value},
                                {"default", defaulted},
                                {"note", note.empty() ? nlohmann::json(nullptr) : nlohmann::json(note)}});
    }

    const Config& cfg_;
    std::ostream& out_;
    nlohmann::json* values_;
    std::string section_;
};

void PrintConfiguration(const Config& cfg, std::ostream& out, nlohmann::json* values)
{
    Printer p(cfg, out, values);
    p.Section("MODE");
    p.Int("DEBUG", cfg.DEBUG, cfg.DEBUG == 99 ? "debug mode" : "");
    p.Int("SEL", cfg.SEL,
          cfg.SEL == 0 ? "LAN address only" : cfg.SEL == 1 ? "COM port only" : "serial or LAN");
    p.Int("RETRY", cfg.RETRY, cfg.RETRY <= 0 ? "no attempt at all: every LAN start-up fails" : "");
    p.Int("CRC", cfg.CRC, cfg.CRC == 1 ? "CRC transfers" : "plain transfers");
    p.Int("AUTO", cfg.AUTO, cfg.AUTO == 1 ? "unattended" : "");
    p.Int("SAVE", cfg.SAVE);
    p.Int("LANBOOT", cfg.LANBOOT, "seconds");
    p.Int("UPLOAD", cfg.UPLOAD, cfg.UPLOAD == 1 ? "write the images" : "settings steps only");
    p.Section("AREA");
    p.Int("MAIN", cfg.MAIN);
    p.Int("FPGA", cfg.FPGA);
    p.Int("DATA", cfg.DATA);
    p.Address("PROG_RAM_STR_ADR", cfg.PROG_RAM_STR_ADR);
    p.Address("PROG_RAM_END_ADR", cfg.PROG_RAM_END_ADR);
    p.Address("FRAM_END_ADR", cfg.FRAM_END_ADR);
    p.Address("CHECK_SUM_ADR", cfg.CHECK_SUM_ADR);
    p.Address("SECT_END_ADR", cfg.SECT_END_ADR);
    p.Address("FPGA_DATA_LEN", cfg.FPGA_DATA_LEN);
    p.Address("FPGA1_STR_ADR", cfg.FPGA1_STR_ADR);
    p.Address("FPGA2_STR_ADR", cfg.FPGA2_STR_ADR);
    p.Section("VERUP");
    p.Text("NAME1", cfg.NAME1);
    p.Text("NAME2", cfg.NAME2);
    p.Text("KIKI1", cfg.KIKI1);
    p.Text("KIKI2", cfg.KIKI2);
    p.Number("FRM_VER", cfg.FRM_VER);
    p.Number("TEL_VER", cfg.TEL_VER);
    p.Int("NUM_LEN", cfg.NUM_LEN, "at most 30");
    p.Text("NUM", cfg.NUM, "at most 30 characters kept");
    p.Int("REV_VER", cfg.REV_VER);
    p.Int("FP_LEN", cfg.FP_LEN, "at most 17");
    for (int i = 0; i < cfg.FP_LEN; ++i) {
        char first[16];
        char second[16];
        std::snprintf(first, sizeof first, "FP%02X", i);
        std::snprintf(second, sizeof second, "FP%02X", i + 16);
        p.Int(first, cfg.FpgaParams1[i], "first FPGA, parameter " + std::to_string(i));
        p.Int(second, cfg.FpgaParams2[i], "second FPGA, parameter " + std::to_string(i));
    }
}

std::string SizeText(uint32_t size) { return size == 0 ? "missing or empty" : std::to_string(size) + " bytes"; }


nlohmann::json LayoutJson(const char* section, const SettingsLayoutTable& table)
{
    return {{"section", section}, {"blocks", table.BlockCount}, {"items_per_block", table.ItemCounts},
            {"capped", table.Capped}};
}

int PrintDecision(const Config& cfg, const std::string& device_version, std::ostream& out, nlohmann::json* report)
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
    nlohmann::json j;
    if (report) {
        nlohmann::json shown = nlohmann::json::array();
        for (const auto& message : messages)
            shown.push_back(Cp932ToUtf8(message));
        j = {{"device_version", device_version},
             {"current_version_text", Cp932ToUtf8(device.CurrentVersionText)},
             {"current_version_number", ReadVersionNumber(device.CurrentVersionText, cfg.NUM_LEN)},
             {"new_version_text", Cp932ToUtf8(new_version)},
             {"new_version_number", ReadVersionNumber(new_version, cfg.NUM_LEN)},
             {"messages", shown},
             {"refused", plan.Refused},
             {"device_firmware", nullptr},
             {"device_revision", nullptr},
             {"save", nullptr},
             {"settings_reset", nullptr},
             {"old_layout_save", nullptr},
             {"convert_on_restore", nullptr},
             {"added_block_count", nullptr},
             {"layout", nullptr},
             {"conversion_layout", nullptr}};
    }
    if (plan.Refused) {
        out << "  the start-up ends here with that message\n";
        if (report)
            *report = j;
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
    if (report) {
        if (plan.DeviceVersion != 0.0 || plan.DeviceRevision != 0) {
            j["device_firmware"] = plan.DeviceVersion;
            j["device_revision"] = plan.DeviceRevision;
        }
        j["save"] = plan.Save;
        j["settings_reset"] = plan.SettingsReset;
        j["old_layout_save"] = plan.OldLayoutSave;
        j["convert_on_restore"] = plan.ConvertOnRestore;
        j["added_block_count"] = plan.AddedBlockCount;
        if (plan.ConvertOnRestore == 1 || plan.OldLayoutSave == 1)
            j["layout"] = LayoutJson("O_SAVE", plan.Layout);
        else if (plan.Layout.BlockCount > 0 || plan.SettingsReset == 0)
            j["layout"] = LayoutJson("N_SAVE", plan.Layout);
        if (plan.ConvertOnRestore == 1)
            j["conversion_layout"] = LayoutJson("C_DATA", plan.ConversionLayout);
        *report = j;
    }
    return CONFIG_OK;
}

}  // namespace

int RunConfigCommand(const ConfigOptions& options, std::ostream& out, nlohmann::json* report)
{
    const Package package = Package::Read(options.PackageDirectory, PackageImages::Skip);
    const Config& cfg = package.Configuration();
    const bool accepted = package.Presence().Accepted;
    const std::string title = MakeTitleText(cfg);
    const ImagePresence& present = package.Presence();

    out << "Configuration file: " << package.ConfigFilePath() << " (" << SizeText(present.ConfigFileSize) << ")\n";
    nlohmann::json values = nlohmann::json::array();
    PrintConfiguration(cfg, out, report ? &values : nullptr);
    nlohmann::json refusals = nlohmann::json::array();

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
        for (const auto& reason : present.Refusals) {
            out << "    - " << reason << "\n";
            refusals.push_back({{"message", Cp932ToUtf8(kMsgFilesMissing)}, {"reason", reason}});
        }
    }
    for (const auto& refusal : identity) {
        std::string message = Cp932ToUtf8(refusal.Message);
        message = message.substr(0, message.find('\r'));
        out << "  REFUSED, the start-up would show \"" << message << "\":\n";
        out << "    - " << Cp932ToUtf8(refusal.Reason) << "\n";
        refusals.push_back({{"message", message}, {"reason", Cp932ToUtf8(refusal.Reason)}});
    }

    // The update refuses to write a program into a layout that cannot hold it.
    bool layout_ok = true;
    nlohmann::json layout_problem = nullptr;
    if (present.ProgramPresent) {
        const std::string layout = CheckProgramLayout(cfg);
        if (!layout.empty())
            layout_problem = layout;
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
    nlohmann::json decision_json = nullptr;
    if (options.DeviceVersion) {
        const int decision = PrintDecision(cfg, *options.DeviceVersion, out, report ? &decision_json : nullptr);
        if (code == CONFIG_OK)
            code = decision;
    }
    if (report) {
        nlohmann::json images = nlohmann::json::array();
        const std::pair<const char*, std::size_t> files[] = {
            {"rt00.mot", 0}, {"fpga01.mot", 1}, {"fpga02.mot", 2}, {"from00.mot", 4}};
        for (const auto& [file, index] : files)
            images.push_back({{"file", file}, {"bytes", present.ImageFileSizes[index]}});
        *report = {{"config_file", package.ConfigFilePath()},
                   {"config_file_bytes", present.ConfigFileSize},
                   {"values", values},
                   {"derived",
                    {{"title", Cp932ToUtf8(title)},
                     {"title_with_version", Cp932ToUtf8(MakeTitleVersionText(title))},
                     {"new_version_text", Cp932ToUtf8(CutText(cfg.NUM, cfg.NUM_LEN))},
                     {"program_area_size", cfg.ProgramAreaSize()}}},
                   {"package",
                    {{"folder", package.Directory()},
                     {"images", images},
                     {"accepted", accepted && layout_ok && identity.empty()},
                     {"refusals", refusals},
                     {"flash_layout_problem", layout_problem}}},
                   {"settings_decision", decision_json},
                   {"exit_code", code}};
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
    config->add_flag("--json", options->Json,
                     "Write the report as one JSON document to stdout; the text then goes to stderr");
    config->footer("Values marked \"default\" are absent from verup.dat. Texts are shown in UTF-8.\n"
                   "Exit codes: 0 accepted, 2 package refused (its files, or a flash layout that cannot hold the\n"
                   "program), 3 the device's firmware is refused.");
    config->callback([options]() {
        std::error_code ec;
        options->PackageDirectory = std::filesystem::current_path(ec).string();
        nlohmann::json report;
        const int code = verup::cli::RunConfigCommand(*options, options->Json ? std::cerr : std::cout,
                                                      options->Json ? &report : nullptr);
        if (options->Json)
            std::cout << report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n" << std::flush;
        if (code != verup::cli::CONFIG_OK)
            throw CLI::RuntimeError(code);
    });
}
