#include "UpdateReport.h"

#include "ToolVersion.h"
#include "UpdateCommand.h"
#include "app/WrittenImage.h"
#include "image/ImageLimits.h"
#include "platform/Cp932.h"
#include "platform/Paths.h"
#include "platform/SerialPortNames.h"

namespace verup::cli {
namespace {

using nlohmann::json;

// A CP932 text in UTF-8, or null when it is empty.
json TextOrNull(const std::string& cp932)
{
    return cp932.empty() ? json(nullptr) : json(Cp932ToUtf8(cp932));
}

json PathOrNull(const std::string& path)
{
    return !path.empty() && FileExists(path) ? json(path) : json(nullptr);
}

json PackageJson(const CUpdateDlg& dlg)
{
    const Package& package = dlg.UpdatePackage();
    json j = {{"folder", package.Directory().empty() ? dlg.Environment().CurrentDirectory : package.Directory()},
              {"product_words", nullptr},
              {"new_version", nullptr},
              {"images", nullptr}};
    // The start-up ends before it reads the package when another run holds the lock.
    if (package.ConfigFilePath().empty())
        return j;
    json words = json::array();
    for (const std::string* word : {&dlg.cfg().KIKI1, &dlg.cfg().KIKI2})
        if (!word->empty())
            words.push_back(Cp932ToUtf8(*word));
    j["product_words"] = words;
    j["new_version"] = TextOrNull(dlg.NewVersionText());
    json images = json::array();
    const ImagePresence& present = package.Presence();
    const std::pair<std::string, std::size_t> files[] = {
        {PROGRAM_IMAGE_FILE, 0}, {FpgaImageFile(1), 1}, {FpgaImageFile(2), 2}, {BOOT_IMAGE_FILE, 4}};
    for (const auto& [file, index] : files)
        if (present.ImageFileSizes[index] != 0)
            images.push_back({{"file", file}, {"bytes", present.ImageFileSizes[index]}});
    j["images"] = images;
    return j;
}

json DeviceJson(const CUpdateDlg& dlg)
{
    const DeviceIdentity device = dlg.Identity();
    return {{"product", TextOrNull(device.ProductWord)},
            {"mac_addresses",
             {{"eth0", TextOrNull(device.Eth0MacText)},
              {"eth1", TextOrNull(device.Eth1MacText)},
              {"wl0", TextOrNull(device.Wl0MacText)},
              {"usb0", TextOrNull(device.Usb0MacText)}}},
            {"firmware_before", TextOrNull(dlg.CurrentVersionText())},
            {"firmware_after", TextOrNull(dlg.VersionAfterUpdate())}};
}

json RoadJson(const CUpdateDlg& dlg, const ConsoleHost& host)
{
    json j = {{"kind", nullptr}, {"com_name", nullptr}, {"port", nullptr}, {"address", nullptr}};
    // Nothing was chosen when the start-up ended before its connection dialog.
    if (host.LinkDescription().empty())
        return j;
    if (dlg.LinkKind() != 0) {
        j["kind"] = "lan";
        j["address"] = TextOrNull(dlg.DeviceAddress());
    } else {
        j["kind"] = "serial";
        if (!dlg.PortName().empty()) {
            j["com_name"] = dlg.PortName();
            j["port"] = ResolvePortName(dlg.PortName());
        }
    }
    return j;
}

json StepsJson(const ConsoleHost& host)
{
    const std::vector<ShownStatus> shown = host.StatusHistory();
    const double end = host.SecondsSinceStart();
    json steps = json::array();
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const double next = i + 1 < shown.size() ? shown[i + 1].StartSeconds : end;
        steps.push_back({{"text", shown[i].Text},
                         {"start", shown[i].StartSeconds},
                         {"duration", next - shown[i].StartSeconds}});
    }
    return steps;
}

json ImagesJson(const CUpdateDlg& dlg)
{
    const ImagePreflight& built = dlg.UpdatePackage().Images();
    const std::size_t sector = static_cast<std::size_t>(dlg.cfg().SECT_END_ADR) + 1;
    // The program's checksum word lies in one of its areas.
    const int checksum_area = static_cast<int>(dlg.cfg().CHECK_SUM_ADR / sector) + 1;
    json images = json::array();
    for (const WrittenImage& image : dlg.ImagesWritten()) {
        const bool holds_checksum = image.File == PROGRAM_IMAGE_FILE && image.Area == checksum_area;
        images.push_back({{"file", image.File},
                          {"area", image.Area},
                          {"bytes", image.Bytes},
                          {"word_sum", image.WordSum},
                          {"checksum_word", holds_checksum ? json(built.Program.ChecksumWord) : json(nullptr)}});
    }
    return images;
}

json SettingsJson(const CUpdateDlg& dlg)
{
    json kept = nullptr;
    if (dlg.Carrier().BackupWrittenThisRun)
        kept = PathOrNull(dlg.Carrier().BackupFilePath);
    if (kept.is_null())
        kept = PathOrNull(dlg.Carrier().SettingsAreaKeptPath);
    const bool saved =
        dlg.Carrier().BackupWrittenThisRun || !dlg.Carrier().SettingsAreaWritten.empty() || !dlg.Carrier().SettingsAreaKeptPath.empty();
    return {{"saved", saved},
            {"restored", dlg.Carrier().SettingsWrittenBack},
            {"confirmed", dlg.Carrier().SettingsRestored},
            {"backup_file", kept},
            {"problem", dlg.Carrier().SettingsProblem.empty() ? json(nullptr) : json(dlg.Carrier().SettingsProblem)}};
}

}  // namespace

const char* UpdateOutcomeWord(int exit_code, bool dry_run)
{
    switch (exit_code) {
    case UPDATE_OK:
        return dry_run ? "dry-run" : "done";
    case UPDATE_STARTUP_REFUSED:
        return "refused";
    case UPDATE_SETTINGS_NOT_RESTORED:
        return "settings-not-restored";
    case UPDATE_USAGE:
        return "usage-error";
    default:
        return "failed";
    }
}

UpdateReport::UpdateReport(std::string folder, bool dry_run) : dry_run_(dry_run)
{
    // What a run that ends before its start-up (a wrong option) reports.
    doc_ = {{"package",
             {{"folder", std::move(folder)}, {"product_words", nullptr}, {"new_version", nullptr}, {"images", nullptr}}},
            {"device",
             {{"product", nullptr},
              {"mac_addresses", {{"eth0", nullptr}, {"eth1", nullptr}, {"wl0", nullptr}, {"usb0", nullptr}}},
              {"firmware_before", nullptr},
              {"firmware_after", nullptr}}},
            {"road", {{"kind", nullptr}, {"com_name", nullptr}, {"port", nullptr}, {"address", nullptr}}},
            {"steps", json::array()},
            {"images", json::array()},
            {"settings",
             {{"saved", false},
              {"restored", false},
              {"confirmed", false},
              {"backup_file", nullptr},
              {"problem", nullptr}}}};
}

void UpdateReport::Take(const CUpdateDlg& dlg, const ConsoleHost& host)
{
    doc_["package"] = PackageJson(dlg);
    doc_["device"] = DeviceJson(dlg);
    doc_["road"] = RoadJson(dlg, host);
    doc_["steps"] = StepsJson(host);
    doc_["images"] = ImagesJson(dlg);
    doc_["settings"] = SettingsJson(dlg);
}

json UpdateReport::Document(int exit_code, const std::vector<TappedMessage>& messages) const
{
    json doc = {{"tool", {{"name", "verup"}, {"version", ToolVersion()}}}};
    doc.update(doc_);
    json errors = json::array();
    json warnings = json::array();
    json notes = json::array();
    for (const TappedMessage& m : messages)
        (m.Kind == "error" ? errors : m.Kind == "warning" ? warnings : notes).push_back(m.Text);
    doc["warnings"] = warnings;
    doc["errors"] = errors;
    doc["notes"] = notes;
    doc["outcome"] = UpdateOutcomeWord(exit_code, dry_run_);
    doc["exit_code"] = exit_code;
    return doc;
}

}  // namespace verup::cli
