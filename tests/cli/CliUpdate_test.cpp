// The verup program end to end: a package made by the simulator, the simulated device on a
// pseudo-terminal, and what the device holds afterwards as the simulator's inspection shows it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <cstdio>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/InstanceGuard.h"
#include "settings/KeptBackups.h"
#include "support/LoopbackServer.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"

#if defined(VERUP_BINARY) && defined(DEVSIM_BINARY)

namespace verup {
namespace {

using test::ProgramRun;
using test::RunProgram;
using test::Subprocess;

// Fast enough for a whole update in seconds, slow enough that the shortest time-out of a
// successful step (1000 ms) stays far above a loaded machine's scheduling delays.
constexpr char kTimeScale[] = "40";

// What "verup-devsim --inspect" prints after this line is the device's settings.
std::string SettingsPart(const std::string& inspection)
{
    const auto start = inspection.find("\nsettings");
    return start == std::string::npos ? std::string() : inspection.substr(start);
}

using nlohmann::json;

// Every key of `object` with the JSON type `type` of each, or (for null) null or that type.
void ExpectKeys(const json& object, const std::map<std::string, json::value_t>& keys, bool nullable = false)
{
    ASSERT_TRUE(object.is_object()) << object;
    EXPECT_EQ(object.size(), keys.size()) << object;
    for (const auto& [key, type] : keys) {
        ASSERT_TRUE(object.contains(key)) << key << " in " << object;
        const json& value = object[key];
        const bool number = type == json::value_t::number_float && value.is_number();
        const bool integer = type == json::value_t::number_unsigned && value.is_number_integer() && value >= 0;
        EXPECT_TRUE(value.type() == type || number || integer || (nullable && value.is_null()))
            << key << " = " << value;
    }
}

// The word sum "verup-devsim --inspect" shows for flash area `area`, or -1 when it shows none.
int InspectedWordSum(const std::string& inspection, int area)
{
    char head[16];
    std::snprintf(head, sizeof head, "\narea %2d ", area);
    const auto at = inspection.find(head);
    const auto sum = at == std::string::npos ? at : inspection.find("word sum ", at);
    return sum == std::string::npos ? -1 : std::stoi(inspection.substr(sum + 9, 4), nullptr, 16);
}

// The run's document: stdout holds it and nothing else, and its common keys are all there.
json RunDocument(const ProgramRun& run)
{
    json doc;
    EXPECT_NO_THROW(doc = json::parse(run.out)) << run.out;
    using V = json::value_t;
    ExpectKeys(doc, {{"tool", V::object}, {"package", V::object}, {"device", V::object}, {"road", V::object},
                     {"steps", V::array}, {"images", V::array}, {"settings", V::object}, {"warnings", V::array},
                     {"errors", V::array}, {"notes", V::array}, {"outcome", V::string},
                     {"exit_code", V::number_unsigned}});
    if (!doc.is_object() || doc.size() != 12)
        return doc;
    ExpectKeys(doc["tool"], {{"name", V::string}, {"version", V::string}});
    ExpectKeys(doc["package"], {{"folder", V::string}, {"product_words", V::array}, {"new_version", V::string},
                                {"images", V::array}}, true);
    ExpectKeys(doc["device"], {{"product", V::string}, {"mac_addresses", V::object}, {"firmware_before", V::string},
                               {"firmware_after", V::string}}, true);
    ExpectKeys(doc["device"]["mac_addresses"], {{"eth0", V::string}, {"eth1", V::string}, {"wl0", V::string},
                                                {"usb0", V::string}}, true);
    ExpectKeys(doc["road"], {{"kind", V::string}, {"com_name", V::string}, {"port", V::string},
                             {"address", V::string}}, true);
    ExpectKeys(doc["settings"], {{"saved", V::boolean}, {"restored", V::boolean}, {"confirmed", V::boolean},
                                 {"backup_file", V::string}, {"problem", V::string}}, true);
    for (const json& step : doc["steps"])
        ExpectKeys(step, {{"text", V::string}, {"start", V::number_float}, {"duration", V::number_float}});
    for (const json& image : doc["images"]) {
        ExpectKeys(image, {{"file", V::string}, {"area", V::number_unsigned}, {"bytes", V::number_unsigned},
                           {"word_sum", V::number_unsigned}, {"checksum_word", V::number_unsigned}}, true);
        EXPECT_FALSE(image["word_sum"].is_null());
    }
    for (const char* list : {"warnings", "errors", "notes"})
        for (const json& text : doc[list])
            EXPECT_TRUE(text.is_string()) << text;
    EXPECT_EQ(doc["exit_code"], run.exit_code);
    return doc;
}

class CliUpdateTest : public ::testing::Test {
protected:
    void MakePackage(std::vector<std::string> options = {})
    {
        std::vector<std::string> argv = {DEVSIM_BINARY, "make-package", Package()};
        argv.insert(argv.end(), options.begin(), options.end());
        const ProgramRun run = RunProgram(argv, {}, dir);
        ASSERT_EQ(run.exit_code, 0) << run.err;
    }
    // The device on the serial road or the LAN, with its firmware before the update (by default
    // 1.10 of a revision that carries its settings on the serial road, 1.15 on the LAN) and `more`.
    void StartDevice(bool lan = false, const char* firmware = nullptr, const std::vector<std::string>& more = {})
    {
        device_options = {"--firmware-version", firmware ? firmware : lan ? "Version 1.15" : "Version 1.10"};
        if (!lan)
            device_options.insert(device_options.end(), {"--revision", "7"});
        device_options.insert(device_options.end(), more.begin(), more.end());
        std::vector<std::string> argv = {DEVSIM_BINARY, "--package", Package(), "--state", State(), "--time-scale",
                                         kTimeScale};
        if (lan) {
            argv.insert(argv.end(), {"--no-serial", "--telnet-port", "0"});
        } else {
            argv.push_back("--no-telnet");
        }
        argv.insert(argv.end(), device_options.begin(), device_options.end());
        device = std::make_unique<Subprocess>(argv, std::map<std::string, std::string>{}, dir.File("sim.out"),
                                              dir.File("sim.err"));
        const std::string found = test::WaitForLine(dir.File("sim.out"), lan ? "telnet: 127.0.0.1:" : "pty: ");
        ASSERT_FALSE(found.empty()) << dir.Read("sim.err");
        (lan ? telnet_port : pty) = found;
    }
    static std::vector<std::string> Link(bool lan)
    {
        return lan ? std::vector<std::string>{"--lan", "127.0.0.1"} : std::vector<std::string>{"--com", "1"};
    }
    void StopDevice() { device.reset(); }

    std::vector<std::string> VerupArgs(const std::vector<std::string>& options, const std::string& log = "verup.log")
    {
        std::vector<std::string> argv = {VERUP_BINARY, "-C", Package()};
        // `settings` takes its options after its own name.
        const bool settings = !options.empty() && options[0] == "settings";
        const std::size_t command_words = settings ? std::min<std::size_t>(options.size(), 2) : 0;
        argv.insert(argv.end(), options.begin(), options.begin() + static_cast<std::ptrdiff_t>(command_words));
        if (!settings || (options.size() > 1 && options[1] == "restore"))
            argv.insert(argv.end(), {"--time-scale", kTimeScale, "--log", dir.File(log)});
        argv.insert(argv.end(), options.begin() + static_cast<std::ptrdiff_t>(command_words), options.end());
        return argv;
    }
    std::map<std::string, std::string> VerupEnv(const std::string& runtime = "run")
    {
        std::filesystem::create_directories(dir.File(runtime));
        return {{"VERUP_COM1", pty},
                {"VERUP_TELNET_PORT", telnet_port},
                {"XDG_STATE_HOME", dir.File("state")},
                {"XDG_RUNTIME_DIR", dir.File(runtime)}};
    }
    ProgramRun Verup(std::vector<std::string> options) { return RunProgram(VerupArgs(options), VerupEnv(), dir); }
    // A run that goes on while the test watches its log.
    std::unique_ptr<Subprocess> StartVerup(const std::vector<std::string>& options, const std::string& log)
    {
        return std::make_unique<Subprocess>(VerupArgs(options, log), VerupEnv(), dir.File("bg.out"),
                                            dir.File("bg.err"));
    }
    // True once `line` is in the log file `log`; no time is asserted, the bound is only a backstop.
    bool WaitForLogLine(const std::string& log, const std::string& line)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(3);
        while (std::chrono::steady_clock::now() < end) {
            if (dir.Read(log).find(line) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    // The settings backups kept in the state folder.
    std::vector<std::string> KeptSettings() const
    {
        std::vector<std::string> files;
        if (!std::filesystem::exists(StateFolder()))
            return files;
        for (const auto& entry : std::filesystem::directory_iterator(StateFolder())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("7300qb-settings-", 0) == 0 && entry.path().extension() == ".txt")
                files.push_back(entry.path().string());
        }
        return files;
    }
    // What the device holds; without a state file, what the fresh device would hold.
    std::string Inspect()
    {
        std::vector<std::string> argv = {DEVSIM_BINARY, "--inspect", "--package", Package(), "--state", State()};
        argv.insert(argv.end(), device_options.begin(), device_options.end());
        const ProgramRun run = RunProgram(argv, {}, dir);
        EXPECT_EQ(run.exit_code, 0) << run.err;
        return run.out;
    }
    std::string Package() const { return dir.File("pkg"); }
    std::string State() const { return dir.File("device.state"); }
    std::string StateFolder() const { return dir.File("state/verup"); }
    std::string Log() const { return dir.Read("verup.log"); }

    test::TempDir dir;
    std::unique_ptr<Subprocess> device;
    std::vector<std::string> device_options;
    std::string pty = "/dev/null";
    std::string telnet_port = "23";
};

class CliJsonUpdateTest : public CliUpdateTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CliJsonUpdateTest, ReportTellsWhatTheDeviceNowHolds)
{
    const bool lan = GetParam();
    MakePackage({"--debug", "0"});
    StartDevice(lan);
    const std::string settings_before = SettingsPart(Inspect());
    ASSERT_NE(settings_before, "");
    std::vector<std::string> options = Link(lan);
    options.push_back("--json");
    const ProgramRun run = Verup(options);
    StopDevice();
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err << Log();
    // The settings went through the backup (serial: read as blocks; LAN before 1.2: written
    // back block by block), which does not outlive a complete run, nor does its note.
    EXPECT_NE(Log().find(lan ? "putdata 40\n" : "getdata 1\n"), std::string::npos) << Log();
    std::vector<std::string> lines = {"<---FROM\n", "<---FPGA\n", "Version Check OK\n", "Version Up OK\n"};
    if (!lan)
        lines.insert(lines.end(), {"moniter mode\n", "Erase 1 OK\n", "Erase 2 OK\n", "Program Download OK\n",
                                   "<---FMON\n", "Program Start OK\n"});
    for (const std::string& line : lines)
        EXPECT_NE(Log().find(line), std::string::npos) << line;
    EXPECT_TRUE(KeptSettings().empty());
    for (const auto& entry : std::filesystem::directory_iterator(StateFolder()))
        EXPECT_EQ(entry.path().extension(), ".lock");
    const json doc = RunDocument(run);
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ(doc["tool"]["name"], "verup");

    EXPECT_EQ(doc["package"]["folder"], Package());
    EXPECT_EQ(doc["package"]["new_version"], "Version 1.20");
    EXPECT_EQ(doc["package"]["images"].size(), 4u) << doc["package"];
    EXPECT_EQ(doc["device"]["firmware_before"], device_options[1]);
    EXPECT_EQ(doc["device"]["firmware_after"], doc["package"]["new_version"]);
    EXPECT_EQ(doc["package"]["product_words"][0], doc["device"]["product"]);
    EXPECT_EQ(doc["device"]["mac_addresses"]["eth0"], "00:80:6D:73:00:10");
    const json road = lan ? json({{"kind", "lan"}, {"com_name", nullptr}, {"port", nullptr}, {"address", "127.0.0.1"}})
                          : json({{"kind", "serial"}, {"com_name", "COM1"}, {"port", pty}, {"address", nullptr}});
    EXPECT_EQ(doc["road"], road);
    EXPECT_EQ(doc["settings"], json({{"saved", true}, {"restored", true}, {"confirmed", true}, {"backup_file", nullptr},
                                     {"problem", nullptr}}));
    EXPECT_EQ(doc["outcome"], "done");
    EXPECT_EQ(doc["errors"], json::array());

    // The steps as the status line showed them, one after the other.
    ASSERT_GE(doc["steps"].size(), 2u);
    EXPECT_EQ(doc["steps"].back()["text"], "バージョンアップ完了");
    double previous = 0;
    for (const json& step : doc["steps"]) {
        EXPECT_GE(step["start"].get<double>(), previous);
        EXPECT_GE(step["duration"].get<double>(), 0.0);
        previous = step["start"].get<double>();
    }

    // What the update says it wrote is what the device's flash holds.
    const std::string after = Inspect();
    EXPECT_NE(after.find("program version text: Version 1.20"), std::string::npos) << after;
    EXPECT_EQ(SettingsPart(after), settings_before);
    std::map<std::string, int> areas;
    int checksums = 0;
    for (const json& image : doc["images"]) {
        ++areas[image["file"].get<std::string>()];
        checksums += image["checksum_word"].is_null() ? 0 : 1;
        EXPECT_EQ(InspectedWordSum(after, image["area"].get<int>()), image["word_sum"].get<int>()) << image << after;
    }
    int program_areas = 0;
    for (auto at = after.find(" program "); at != std::string::npos; at = after.find(" program ", at + 1))
        ++program_areas;
    EXPECT_EQ(areas, (std::map<std::string, int>{
                         {"rt00.mot", program_areas}, {"fpga01.mot+fpga02.mot", 1}, {"from00.mot", 1}}))
        << doc["images"] << after;
    EXPECT_EQ(checksums, 1);
}

INSTANTIATE_TEST_SUITE_P(BothRoads, CliJsonUpdateTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Lan" : "Serial"; });

// Runs that never reach a device report what they know: a usage error, a refused package.
TEST_F(CliUpdateTest, JsonReportOfARunWithoutADevice)
{
    MakePackage({"--debug", "0"});
    const json usage = RunDocument(Verup({"--com", "12", "--json"}));
    EXPECT_EQ(usage["exit_code"], 64);
    EXPECT_EQ(usage["outcome"], "usage-error");
    EXPECT_EQ(usage["errors"].size(), 1u) << usage;

    std::filesystem::remove(dir.File("pkg/fpga02.mot"));
    const ProgramRun run = Verup({"--com", "1", "--json"});
    EXPECT_EQ(run.exit_code, 2) << run.out << run.err;
    const json doc = RunDocument(run);
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ(doc["outcome"], "refused");
    EXPECT_EQ(doc["package"]["images"].size(), 3u) << doc["package"];
    EXPECT_EQ(doc["device"]["firmware_before"], nullptr);
    EXPECT_EQ(doc["device"]["firmware_after"], nullptr);
    EXPECT_EQ(doc["road"]["kind"], nullptr);
    EXPECT_EQ(doc["images"], json::array());
    EXPECT_EQ(doc["settings"]["saved"], false);
    ASSERT_EQ(doc["errors"].size(), 1u) << doc;
    EXPECT_NE(doc["errors"][0].get<std::string>().find("バージョンアップに必要なファイルが見つかりません。"),
              std::string::npos);
    EXPECT_NE(run.err.find("バージョンアップに必要なファイルが見つかりません。"), std::string::npos) << run.err;
}

TEST_F(CliUpdateTest, ConfigJsonGivesTheValuesAndTheSettingsDecision)
{
    MakePackage({"--debug", "0"});
    const ProgramRun run = RunProgram(
        {VERUP_BINARY, "-C", Package(), "config", "--json", "--device-version", "Version 1.05"}, {}, dir);
    EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
    json doc;
    ASSERT_NO_THROW(doc = json::parse(run.out)) << run.out;
    EXPECT_EQ(doc["exit_code"], run.exit_code);
    const json* num = nullptr;
    for (const json& v : doc["values"])
        if (v["section"] == "VERUP" && v["key"] == "NUM")
            num = &v;
    ASSERT_NE(num, nullptr) << doc["values"];
    EXPECT_EQ(num->size(), 5u) << *num;
    EXPECT_EQ((*num)["value"], "Version 1.20");
    EXPECT_EQ((*num)["default"], false);
    EXPECT_EQ(doc["package"]["accepted"], true);
    EXPECT_EQ(doc["derived"]["new_version_text"], "Version 1.20");
    const json& decision = doc["settings_decision"];
    EXPECT_EQ(decision["refused"], false);
    EXPECT_EQ(decision["convert_on_restore"], 1);
    EXPECT_EQ(decision["layout"]["section"], "O_SAVE");
    EXPECT_EQ(decision["conversion_layout"]["section"], "C_DATA");
    EXPECT_NE(run.err.find("[VERUP]"), std::string::npos) << "the text goes to stderr";
}

TEST_F(CliUpdateTest, DryRunTellsThePlanAndLeavesTheDeviceAlone)
{
    MakePackage({"--debug", "0"});
    StartDevice();
    const std::string before = Inspect();
    // Two files of earlier runs: today's name with its note (this device), and the fixed name
    // of older versions.
    std::filesystem::create_directories(StateFolder());
    const std::string kept = StateFolder() + "/7300qb-settings-00-80-6d-73-00-10-20250101T000000Z.txt";
    dir.Write("state/verup/7300qb-settings-00-80-6d-73-00-10-20250101T000000Z.txt", "kept\r\n");
    dir.Write("state/verup/7300qb-settings-00-80-6d-73-00-10-20250101T000000Z.txt.info",
              "kind=settings\nmac=00-80-6d-73-00-10\ntime=2025-01-01T00:00:00Z\n");
    dir.Write("state/verup/7300qb.tmp", "older version's backup\r\n");

    const ProgramRun run = Verup({"--com", "1", "--dry-run"});
    StopDevice();
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
    EXPECT_NE(run.err.find("an earlier run kept this device's settings (2025-01-01T00:00:00Z): " + kept),
              std::string::npos) << run.err;
    EXPECT_NE(run.err.find("verup settings restore " + kept + " --com 1"), std::string::npos) << run.err;
    EXPECT_EQ(dir.Read("state/verup/7300qb-settings-00-80-6d-73-00-10-20250101T000000Z.txt"), "kept\r\n");
    EXPECT_EQ(dir.Read("state/verup/7300qb.tmp"), "older version's backup\r\n");
    EXPECT_NE(run.out.find("Version 1.10"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Images:      every image converts"), std::string::npos) << run.out;
    // The steps in order: the settings saved before the first erase, the data area, the program.
    std::size_t at = 0;
    for (const char* step : {"Plan:\n   1. check that every image converts", ". save the settings block by block (N_SAVE",
                             ". erase area 30 (data area)", ". erase areas 1-5 (main program, up to the FPGA area)",
                             ". write rt00.mot into areas 1-4", ". erase area 5 (FPGA area)",
                             ". read the settings back", "\nDry run:"}) {
        at = run.out.find(step, at);
        if (at == std::string::npos) {
            ADD_FAILURE() << step << " in order in\n" << run.out;
            break;
        }
    }

    const std::string after = Inspect();
    EXPECT_NE(after.find("program version text: Version 1.10"), std::string::npos) << after;
    EXPECT_EQ(SettingsPart(after), SettingsPart(before));
    EXPECT_EQ(Log().find("getdata"), std::string::npos);
}

TEST_F(CliUpdateTest, FailedRestoreKeepsTheBackupAndExitsWith3)
{
    MakePackage({"--debug", "0"});
    // The first putdata is swallowed: its confirmation never comes.
    StartDevice(false, nullptr, {"--no-reply", "putdata:1"});
    const ProgramRun run = Verup({"--com", "1", "--json"});
    StopDevice();
    ASSERT_EQ(run.exit_code, 3) << run.out << run.err << Log();
    ASSERT_EQ(KeptSettings().size(), 1u);
    const std::string backup = KeptSettings()[0];
    const json doc = RunDocument(run);
    EXPECT_EQ(doc["outcome"], "settings-not-restored");
    EXPECT_EQ(doc["settings"]["saved"], true);
    EXPECT_EQ(doc["settings"]["restored"], false);
    EXPECT_EQ(doc["settings"]["confirmed"], false);
    EXPECT_EQ(doc["settings"]["backup_file"], backup);
    EXPECT_TRUE(doc["settings"]["problem"].is_string());
    EXPECT_NE(doc["warnings"].dump().find(backup), std::string::npos) << doc["warnings"];
    EXPECT_EQ(backup.rfind(StateFolder() + "/7300qb-settings-00-80-6d-73-00-10-20", 0), 0u) << backup;
    EXPECT_NE(run.err.find(backup), std::string::npos) << run.err;
    EXPECT_EQ(std::filesystem::status(backup).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(std::filesystem::status(StateFolder()).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
    EXPECT_NE(test::TempDir::ReadFile(backup).find("Ver 1.01\r\n"), std::string::npos);
    EXPECT_NE(Inspect().find("program version text: Version 1.20"), std::string::npos);
}

// One damaged record in the boot image: `verup images` and both roads give the same verdict,
// and the update fails before the device is touched.
class CliBrokenPackageTest : public CliUpdateTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CliBrokenPackageTest, IsRefusedAsVerupImagesSays)
{
    const bool lan = GetParam();
    MakePackage({"--debug", "0"});
    std::string boot = dir.Read("pkg/from00.mot");
    std::size_t at = 0;
    for (int line = 1; line < 200; ++line)
        at = boot.find('\n', at) + 1;
    const std::size_t sum = boot.find('\r', at) - 1;
    boot[sum] = boot[sum] == '0' ? '1' : '0';
    dir.Write("pkg/from00.mot", boot);
    const std::string verdict = "from00.mot: line 200, column 45: expected record checksum";

    const ProgramRun images = RunProgram({VERUP_BINARY, "-C", Package(), "images"}, {}, dir);
    EXPECT_EQ(images.exit_code, 3) << images.out << images.err;
    EXPECT_NE(images.out.find(verdict), std::string::npos) << images.out;
    const ProgramRun images_json = RunProgram({VERUP_BINARY, "-C", Package(), "images", "--json"}, {}, dir);
    EXPECT_EQ(images_json.exit_code, 3);
    json report;
    ASSERT_NO_THROW(report = json::parse(images_json.out)) << images_json.out;
    EXPECT_EQ(report["exit_code"], 3);
    for (const json& image : report["images"])
        EXPECT_EQ(image["verdict"], image["file"] == "from00.mot" ? "refused" : "ok") << image;

    StartDevice(lan);
    const std::string before = Inspect();
    const std::vector<std::string> link = Link(lan);
    // A dry run gives the verdict the update will give, and fails as it will.
    std::vector<std::string> dry = link;
    dry.push_back("--dry-run");
    const ProgramRun dry_run = Verup(dry);
    EXPECT_EQ(dry_run.exit_code, 1) << dry_run.out << dry_run.err;
    EXPECT_NE(dry_run.out.find("Would refuse:"), std::string::npos) << dry_run.out;
    EXPECT_NE(dry_run.out.find(verdict), std::string::npos) << dry_run.out;

    const ProgramRun run = Verup(link);
    StopDevice();
    EXPECT_EQ(run.exit_code, 1) << run.out << run.err << Log();
    EXPECT_NE(run.err.find(verdict), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("the device was left as it was"), std::string::npos) << run.err;
    EXPECT_EQ(Inspect(), before);
}

INSTANTIATE_TEST_SUITE_P(BothRoads, CliBrokenPackageTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Lan" : "Serial"; });

// Runs on other devices go side by side; a second run on one device, by whatever name it reaches
// the device, is refused with the first one's process id, in any session.
TEST_F(CliUpdateTest, ASecondRunOnOneDeviceIsRefusedNamingTheFirst)
{
    MakePackage({"--debug", "0"});
    StartDevice();
    const std::string alias = dir.File("adapter");
    std::filesystem::create_symlink(pty, alias);
    const std::string holder = "process " + std::to_string(::getpid());
    const auto refused_by_holder = [&](const std::vector<std::string>& link, const std::string& lock) {
        std::unique_ptr<InstanceGuard> first;
        ASSERT_EQ(InstanceGuard::Acquire(StateFolder(), first, nullptr, lock), InstanceGuard::Result::Acquired);
        std::vector<std::string> options = link;
        options.push_back("--dry-run");
        const ProgramRun run = RunProgram(VerupArgs(options), VerupEnv("another-runtime"), dir);
        EXPECT_EQ(run.exit_code, 2) << run.out << run.err;
        EXPECT_NE(run.err.find("この機器は別のバージョンアップ・プログラムが使用中です（" + holder + "）"),
                  std::string::npos) << run.err;
    };
    const std::string port_lock = "serial-" + FileNameSafe(std::filesystem::canonical(pty).string());
    refused_by_holder({"--com", "1"}, port_lock);
    refused_by_holder({"--port", alias}, port_lock);
    refused_by_holder({"--lan", "127.0.0.1"}, "lan-127.0.0.1");

    // The window's own lock, or another device's, leaves this device free.
    std::unique_ptr<InstanceGuard> window, other_device;
    ASSERT_EQ(InstanceGuard::Acquire(StateFolder(), window), InstanceGuard::Result::Acquired);
    ASSERT_EQ(InstanceGuard::Acquire(StateFolder(), other_device, nullptr, "lan-127.0.0.2"),
              InstanceGuard::Result::Acquired);
    // The port by a stable name of its own, as a USB adapter's /dev/serial/by-id/ link is.
    const ProgramRun run = Verup({"--port", alias, "--dry-run"});
    EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Connecting: serial " + alias + " (" + std::filesystem::canonical(pty).string() + ")"),
              std::string::npos) << run.out;
}

TEST_F(CliUpdateTest, APeerFloodingNegotiationLeavesAShortLog)
{
    MakePackage({"--debug", "0"});
    // A peer that never stops sending telnet commands (DO TERMINAL-TYPE, left unanswered) and
    // never prompts: the login watchdog ends the start-up.
    test::LoopbackServer peer;
    telnet_port = std::to_string(peer.Port());
    std::atomic<bool> done{false};
    std::thread flood([&] {
        if (!peer.Accept())
            return;
        std::string burst;
        for (int i = 0; i < 20000; ++i)
            burst += "\xff\xfd\x18";
        while (!done)
            peer.Send(burst);
    });
    const ProgramRun run = Verup({"--lan", "127.0.0.1"});
    done = true;
    flood.join();
    EXPECT_NE(run.exit_code, 0);
    const std::string log = Log();
    EXPECT_LT(log.size(), 4096u) << log.substr(0, 4096);
    EXPECT_NE(log.find("IAC data\nlast line repeated "), std::string::npos) << log;
}

TEST_F(CliUpdateTest, BadCommandLineIsAUsageError)
{
    MakePackage();
    EXPECT_EQ(Verup({"--com", "12"}).exit_code, 64);
    EXPECT_EQ(Verup({"--com", "1", "--lan", "127.0.0.1"}).exit_code, 64);
    EXPECT_EQ(Verup({"--lan", "1.2.3"}).exit_code, 64);
    EXPECT_EQ(Verup({"--port", "/dev/null", "--com", "1"}).exit_code, 64);
    // A path that is no usable port is the start-up's refusal, with the reason and what to do.
    dir.Write("regular-file", "");
    StartDevice();
    const int holder = ::open(pty.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);  // as another terminal program would
    for (const auto& [path, reason] : {std::pair{dir.File("no-such-port"), "no such port"},
                                       std::pair{dir.File("regular-file"), "not a serial port"},
                                       std::pair{pty, "port busy"}}) {
        const ProgramRun run = Verup({"--port", path});
        EXPECT_EQ(run.exit_code, 2) << run.out << run.err;
        EXPECT_NE(run.err.find(path + ": " + reason), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("verup ports"), std::string::npos) << run.err;
    }
    ::close(holder);
}

// ---------------------------------------------------------------- crash recovery

// A run killed (SIGKILL: nothing of its own clean-up runs) when its log reaches `line`; then the
// tool is run again as a user would, and the kept file is put back with `verup settings restore`.
// One case a road: the serial device half erased, the LAN device of the old layout with its
// program written and its settings not yet re-laid.
struct CrashPoint {
    const char* name;
    bool lan;
    const char* firmware;  // of the device before the first run
    const char* line;      // the log line at which the first run dies
};

class CliCrashRecoveryTest : public CliUpdateTest, public ::testing::WithParamInterface<CrashPoint> {};

TEST_P(CliCrashRecoveryTest, NextRunKeepsTheBackupAndRestoreBringsTheSettingsBack)
{
    const CrashPoint& point = GetParam();
    // Firmware before 1.1 keeps its settings in the old layout: the restore re-lays them.
    const bool old_layout = std::string(point.firmware) < "Version 1.1";
    MakePackage({"--debug", "0"});
    StartDevice(point.lan, point.firmware);
    const std::string before = SettingsPart(Inspect());
    const std::vector<std::string> link = Link(point.lan);

    {
        const std::unique_ptr<Subprocess> first = StartVerup(link, "first.log");
        ASSERT_TRUE(WaitForLogLine("first.log", point.line)) << dir.Read("first.log") << dir.Read("bg.err");
        first->Signal(SIGKILL);
        ASSERT_EQ(first->Wait(std::chrono::seconds(30)), Subprocess::kKilledBySignal);
    }
    ASSERT_EQ(KeptSettings().size(), 1u) << dir.Read("first.log");
    const std::string kept = KeptSettings()[0];
    const std::string kept_bytes = test::TempDir::ReadFile(kept);

    // The next run names the kept file for this device and leaves it alone, whatever it does.
    const ProgramRun again = Verup(link);
    EXPECT_EQ(again.exit_code, 0) << again.out << again.err << Log();
    EXPECT_NE(again.err.find("an earlier run kept this device's settings"), std::string::npos) << again.err;
    EXPECT_NE(again.err.find(kept), std::string::npos) << again.err;
    EXPECT_EQ(test::TempDir::ReadFile(kept), kept_bytes);

    const ProgramRun list = Verup({"settings", "list"});
    EXPECT_EQ(list.exit_code, 0) << list.err;
    EXPECT_NE(list.out.find(std::filesystem::path(kept).filename().string()), std::string::npos) << list.out;
    EXPECT_NE(list.out.find(std::string(point.firmware)), std::string::npos) << list.out;
    // A backup already re-laid for the new firmware says so in its note.
    if (old_layout)
        EXPECT_TRUE(list.out.find(" O_SAVE") != std::string::npos || list.out.find(" C_SAVE") != std::string::npos)
            << list.out;
    else
        EXPECT_NE(list.out.find(" N_SAVE"), std::string::npos) << list.out;

    std::vector<std::string> restore = {"settings", "restore", kept};
    restore.insert(restore.end(), link.begin(), link.end());
    const ProgramRun put_back = Verup(restore);
    StopDevice();
    ASSERT_EQ(put_back.exit_code, 0) << put_back.out << put_back.err << Log();
    EXPECT_FALSE(std::filesystem::exists(kept)) << "a confirmed file goes";
    EXPECT_TRUE(KeptSettings().empty());

    const std::string after = Inspect();
    EXPECT_NE(after.find("program version text: Version 1.20"), std::string::npos) << after;
    if (old_layout) {
        EXPECT_NE(Log().find("new data <- old data\n"), std::string::npos) << Log();
        EXPECT_NE(after.find("settings (new layout, 40 blocks)"), std::string::npos) << after;
        EXPECT_NE(after.find("  19.2 = 5\n"), std::string::npos) << after;
        EXPECT_NE(after.find("\\x01-1\\x01108\\x01109\\x01110\\x01-1\n"), std::string::npos) << after;
    } else {
        EXPECT_EQ(SettingsPart(after), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    , CliCrashRecoveryTest,
    ::testing::Values(CrashPoint{"SerialMidErase", false, "Version 1.10", "Erase 1 OK\n"},
                      CrashPoint{"LanOldFirmwareAfterTheProgram", true, "Version 1.05", "open err_cnt=0\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace verup

#endif
