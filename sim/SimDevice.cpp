#include "SimDevice.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "PackageMaker.h"
#include "image/ImageBuilder.h"

namespace devsim {
namespace {

constexpr char kStateMagic[8] = {'N', 'X', 'D', 'E', 'V', 'S', 'T', '1'};
// What the firmware writes into the DATA area once it has laid out its settings.
constexpr char kDataMarker[] = "NXDATA01";
constexpr std::string_view kVersionWord = "Version ";
constexpr std::size_t kMaxVersionText = 30;
// A fresh device's program: its identification, its version, and filler up to this size.
constexpr std::size_t kFreshProgramBytes = 4096;

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (prefix.empty() || text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

std::string Printable(std::string_view text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c < 0x20 || c > 0x7E) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

bool AllErased(const std::vector<uint8_t>& area)
{
    return std::all_of(area.begin(), area.end(), [](uint8_t b) { return b == 0xFF; });
}

uint16_t ChecksumDisplay(const std::vector<uint8_t>& image)
{
    if (image.empty())
        return 0;
    const uint16_t sum = verup::SumImageWords(image, 0, image.size() - 1);
    return static_cast<uint16_t>((65536u - sum) & 0xFFFFu);
}

}  // namespace

const char* RunModeName(RunMode mode)
{
    switch (mode) {
    case RunMode::Firmware: return "firmware";
    case RunMode::Monitor: return "monitor";
    case RunMode::Restarting: return "restarting";
    }
    return "?";
}

double VersionNumber(std::string_view version_text)
{
    const auto at = version_text.find(kVersionWord);
    if (at == std::string_view::npos)
        return 0.0;
    const std::string rest(version_text.substr(at + kVersionWord.size()));
    return std::strtod(rest.c_str(), nullptr);
}

std::string FindVersionText(std::span<const uint8_t> program)
{
    const auto it = std::search(program.begin(), program.end(), kVersionWord.begin(), kVersionWord.end());
    if (it == program.end())
        return {};
    std::string text;
    for (auto p = it; p != program.end() && text.size() < kMaxVersionText && *p >= 0x20 && *p <= 0x7E; ++p)
        text += static_cast<char>(*p);
    return text;
}

bool ParseCountedFault(const std::string& text, CountedFault& out)
{
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size())
        return false;
    char* end = nullptr;
    const long n = std::strtol(text.c_str() + colon + 1, &end, 10);
    if (*end != '\0' || n < 1)
        return false;
    out.Command = text.substr(0, colon);
    out.N = static_cast<int>(n);
    return true;
}

bool ParseSettingsItemEdit(const std::string& text, SettingsItemEdit& out)
{
    const auto equals = text.find('=');
    int block = 0, item = 0, used = 0;
    if (equals == std::string::npos ||
        std::sscanf(text.substr(0, equals).c_str(), "%d.%d%n", &block, &item, &used) != 2 ||
        used != static_cast<int>(equals) || block < 1 || item < 1)
        return false;
    out = SettingsItemEdit{block, item, text.substr(equals + 1)};
    return true;
}

bool ParseMac(const std::string& text, std::array<uint8_t, 6>& out)
{
    unsigned b[6] = {};
    int used = 0;
    if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%n", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &used) != 6 ||
        used != static_cast<int>(text.size()) || text.size() != 17 || b[5] > 0xFC)
        return false;
    for (int i = 0; i < 6; ++i)
        out[i] = static_cast<uint8_t>(b[i]);
    return true;
}

std::string SimDevice::MacAddress(int offset) const
{
    std::array<uint8_t, 6> mac{};
    if (!ParseMac(options_.Mac, mac))
        ParseMac(DeviceOptions{}.Mac, mac);
    mac[5] = static_cast<uint8_t>(mac[5] + offset);
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

SimDevice::SimDevice(DeviceProfile profile, DeviceOptions options, const verup::Clock& clock)
    : profile_(std::move(profile)), options_(std::move(options)), clock_(clock)
{
    for (auto& area : flash_)
        area.assign(SectorBytes(), 0xFF);
    ram_.assign(profile_.ProgramBytes(), 0xFF);
    no_reply_seen_.assign(options_.Faults.NoReply.size(), 0);
    error_word_seen_.assign(options_.Faults.ErrorWord.size(), 0);
    kanji_error_seen_.assign(options_.Faults.KanjiError.size(), 0);
}

bool SimDevice::PowerOn(std::string* error, bool boot)
{
    std::lock_guard lock(mutex_);
    std::error_code ec;
    const bool have_state = !options_.StatePath.empty() && std::filesystem::file_size(options_.StatePath, ec) > 0 && !ec;
    if (have_state) {
        if (!LoadStateLocked(error))
            return false;
    } else {
        BuildFreshLocked();
        if (!SaveStateLocked()) {
            if (error)
                *error = "cannot write the state file " + options_.StatePath;
            return false;
        }
    }
    if (boot) {
        BootLocked(options_.StartIn == StartLevel::Monitor || options_.StartIn == StartLevel::FlashMonitor ||
                   options_.StartIn == StartLevel::Download);
        refusals_left_ = 0;  // only a restart makes the device slow to answer
    }
    return true;
}

void SimDevice::BuildFreshLocked()
{
    for (auto& area : flash_)
        area.assign(SectorBytes(), 0xFF);
    const std::string version = options_.FirmwareVersion + " " + std::to_string(options_.Revision);
    std::vector<uint8_t> program(profile_.ProgramBytes(), 0xFF);
    const auto bytes = MakeProgramBytes(version, std::min(kFreshProgramBytes, program.size()));
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), program.size())),
              program.begin());
    const uint32_t slot = profile_.Cfg.CHECK_SUM_ADR;
    program[slot] = 0;
    program[slot + 1] = 0;
    const uint16_t word = ChecksumDisplay(program);
    program[slot] = static_cast<uint8_t>(word & 0xFF);
    program[slot + 1] = static_cast<uint8_t>(word >> 8);
    for (std::size_t offset = 0, area = 1; offset < program.size(); offset += SectorBytes(), ++area) {
        const std::size_t n = std::min(SectorBytes(), program.size() - offset);
        std::copy_n(program.begin() + static_cast<std::ptrdiff_t>(offset), n, flash_[area].begin());
    }
    const std::string boot = "FMON Version 1.00";
    std::copy(boot.begin(), boot.end(), flash_[kBootArea].begin());

    const bool new_layout = VersionNumber(version) >= 1.1;
    SettingsImage used = UsedSettings(profile_.LayoutFor(new_layout), new_layout);
    for (const auto& edit : options_.SettingsItems)
        if (edit.Block <= used.BlockCount() && edit.Item <= static_cast<int>(used.Blocks[static_cast<std::size_t>(edit.Block - 1)].size()))
            used.Blocks[static_cast<std::size_t>(edit.Block - 1)][static_cast<std::size_t>(edit.Item - 1)] = edit.Text;
    const auto encoded = EncodeSettings(used, SectorBytes());
    if (encoded)
        flash_[kSettingsArea] = *encoded;
    if (profile_.Cfg.DATA != kSettingsArea)
        std::copy(kDataMarker, kDataMarker + sizeof kDataMarker, flash_[static_cast<std::size_t>(profile_.Cfg.DATA)].begin());
    program_written_ = false;
}

void SimDevice::BootLocked(bool into_monitor)
{
    ++boots_;
    refusals_left_ = options_.Faults.ReturnAfter;
    ram_.assign(profile_.ProgramBytes(), 0xFF);
    if (into_monitor) {
        mode_ = RunMode::Monitor;
        log_.push_back("device: started in the boot monitor");
        return;
    }
    const auto program = ProgramInFlashLocked();
    const std::string version = FindVersionText(program);
    if (ChecksumDisplay(program) != 0 || version.empty()) {
        mode_ = RunMode::Monitor;
        log_.push_back("device: no valid program in flash, started in the boot monitor");
        return;
    }
    mode_ = RunMode::Firmware;
    version_text_ = program_written_ && !options_.Faults.VersionOverride.empty() ? options_.Faults.VersionOverride : version;
    log_.push_back("device: started the program, " + version_text_);

    // A firmware lays out its settings afresh when the data area was erased or the saved
    // settings are of the other generation.
    const bool new_layout = VersionNumber(version_text_) >= 1.1;
    const auto& layout = profile_.LayoutFor(new_layout);
    auto saved = DecodeSettings(flash_[kSettingsArea]);
    const int data_area = profile_.Cfg.DATA;
    const bool data_erased = data_area != kSettingsArea && AllErased(flash_[static_cast<std::size_t>(data_area)]);
    if (data_erased || !saved || saved->NewLayout != new_layout || saved->BlockCount() != layout.BlockCount) {
        SettingsImage defaults = DefaultSettings(layout, new_layout);
        if (auto encoded = EncodeSettings(defaults, SectorBytes()))
            flash_[kSettingsArea] = *encoded;
        if (data_area != kSettingsArea) {
            auto& data = flash_[static_cast<std::size_t>(data_area)];
            data.assign(SectorBytes(), 0xFF);
            std::copy(kDataMarker, kDataMarker + sizeof kDataMarker, data.begin());
        }
        log_.push_back("device: settings reset to the defaults");
        saved = std::move(defaults);
        SaveStateLocked();
    }
    live_settings_ = *saved;
}

RunMode SimDevice::Mode()
{
    std::lock_guard lock(mutex_);
    return mode_;
}

uint64_t SimDevice::BootCount()
{
    std::lock_guard lock(mutex_);
    return boots_;
}

void SimDevice::Tick()
{
    std::lock_guard lock(mutex_);
    if (mode_ == RunMode::Restarting && !options_.Faults.NoReturn && clock_.NowMs() >= up_at_ms_)
        BootLocked(restart_into_monitor_);
}

void SimDevice::Restart(bool into_monitor)
{
    std::lock_guard lock(mutex_);
    mode_ = RunMode::Restarting;
    restart_into_monitor_ = into_monitor;
    up_at_ms_ = clock_.NowMs() + options_.RestartMs;
    log_.push_back(into_monitor ? "device: restarting into the boot monitor" : "device: restarting");
}

bool SimDevice::TakeRefusal()
{
    std::lock_guard lock(mutex_);
    if (refusals_left_ <= 0)
        return false;
    --refusals_left_;
    log_.push_back("device: not answering yet");
    return true;
}

std::string SimDevice::VersionText()
{
    std::lock_guard lock(mutex_);
    return version_text_;
}

std::string SimDevice::ProductWord()
{
    return options_.Product.empty() ? profile_.Cfg.KIKI1 : options_.Product;
}

std::vector<uint8_t> SimDevice::Area(int area)
{
    std::lock_guard lock(mutex_);
    return ValidArea(area) ? flash_[static_cast<std::size_t>(area)] : std::vector<uint8_t>{};
}

bool SimDevice::AreaErased(int area)
{
    std::lock_guard lock(mutex_);
    return ValidArea(area) && AllErased(flash_[static_cast<std::size_t>(area)]);
}

bool SimDevice::EraseArea(int area)
{
    std::lock_guard lock(mutex_);
    if (!ValidArea(area))
        return false;
    flash_[static_cast<std::size_t>(area)].assign(SectorBytes(), 0xFF);
    if (area == kSettingsArea)
        ReloadSettingsLocked();
    FlashChangedLocked();
    return true;
}

bool SimDevice::ReplaceArea(int area, std::span<const uint8_t> data)
{
    std::lock_guard lock(mutex_);
    if (!ValidRange(area, 0, data.size()))
        return false;
    auto& flash = flash_[static_cast<std::size_t>(area)];
    flash.assign(SectorBytes(), 0xFF);
    std::copy(data.begin(), data.end(), flash.begin());
    AreaProgrammedLocked(area);
    return true;
}

void SimDevice::AreaProgrammedLocked(int area)
{
    if (area >= 1 && area <= profile_.Cfg.MAIN)
        program_written_ = true;
    if (area == kSettingsArea)
        ReloadSettingsLocked();
    FlashChangedLocked();
}

bool SimDevice::ProgramArea(int area, std::size_t offset, std::span<const uint8_t> data)
{
    std::lock_guard lock(mutex_);
    if (!ValidRange(area, offset, data.size()))
        return false;
    auto& flash = flash_[static_cast<std::size_t>(area)];
    for (std::size_t i = 0; i < data.size(); ++i)
        flash[offset + i] &= data[i];
    AreaProgrammedLocked(area);
    return true;
}

bool SimDevice::RewriteRange(int area, std::size_t offset, std::span<const uint8_t> data)
{
    std::lock_guard lock(mutex_);
    if (!ValidRange(area, offset, data.size()))
        return false;
    std::copy(data.begin(), data.end(), flash_[static_cast<std::size_t>(area)].begin() + static_cast<std::ptrdiff_t>(offset));
    FlashChangedLocked();
    return true;
}

std::vector<uint8_t> SimDevice::ProgramInFlash()
{
    std::lock_guard lock(mutex_);
    return ProgramInFlashLocked();
}

std::vector<uint8_t> SimDevice::ProgramInFlashLocked() const
{
    std::vector<uint8_t> program(profile_.ProgramBytes(), 0xFF);
    for (std::size_t offset = 0, area = 1; offset < program.size() && area < kSettingsArea; offset += SectorBytes(), ++area) {
        const std::size_t n = std::min(SectorBytes(), program.size() - offset);
        std::copy_n(flash_[area].begin(), n, program.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    return program;
}

void SimDevice::ClearRam()
{
    std::lock_guard lock(mutex_);
    ram_.assign(profile_.ProgramBytes(), 0xFF);
}

bool SimDevice::StoreRam(std::size_t offset, std::span<const uint8_t> data)
{
    std::lock_guard lock(mutex_);
    if (offset > ram_.size() || data.size() > ram_.size() - offset)
        return false;
    std::copy(data.begin(), data.end(), ram_.begin() + static_cast<std::ptrdiff_t>(offset));
    return true;
}

bool SimDevice::WriteRamWord(uint32_t address, uint16_t value)
{
    std::lock_guard lock(mutex_);
    if (address < profile_.Cfg.PROG_RAM_STR_ADR)
        return false;
    const std::size_t offset = address - profile_.Cfg.PROG_RAM_STR_ADR;
    if (offset + 1 >= ram_.size())
        return false;
    ram_[offset] = static_cast<uint8_t>(value & 0xFF);
    ram_[offset + 1] = static_cast<uint8_t>(value >> 8);
    return true;
}

std::vector<uint8_t> SimDevice::RamSector(int sector)
{
    std::lock_guard lock(mutex_);
    std::vector<uint8_t> out(SectorBytes(), 0xFF);
    if (sector < 1)
        return out;
    const std::size_t offset = static_cast<std::size_t>(sector - 1) * SectorBytes();
    if (offset < ram_.size())
        std::copy_n(ram_.begin() + static_cast<std::ptrdiff_t>(offset), std::min(SectorBytes(), ram_.size() - offset), out.begin());
    return out;
}

uint16_t SimDevice::FlashChecksum()
{
    std::lock_guard lock(mutex_);
    return ChecksumDisplay(ProgramInFlashLocked());
}

uint16_t SimDevice::RamChecksum()
{
    std::lock_guard lock(mutex_);
    return ChecksumDisplay(ram_);
}

std::optional<std::vector<std::string>> SimDevice::GetBlock(int block)
{
    std::lock_guard lock(mutex_);
    if (block < 1 || block > live_settings_.BlockCount())
        return std::nullopt;
    return live_settings_.Blocks[static_cast<std::size_t>(block - 1)];
}

bool SimDevice::PutItem(int block, int item, std::string text)
{
    std::lock_guard lock(mutex_);
    if (block < 1 || block > live_settings_.BlockCount())
        return false;
    auto& items = live_settings_.Blocks[static_cast<std::size_t>(block - 1)];
    if (item < 1 || item > static_cast<int>(items.size()))
        return false;
    items[static_cast<std::size_t>(item - 1)] = std::move(text);
    return true;
}

bool SimDevice::CommitSettings()
{
    std::lock_guard lock(mutex_);
    if (options_.Faults.SavedataNotSaved) {
        log_.push_back("fault: settings not saved");
        return true;
    }
    const auto encoded = EncodeSettings(live_settings_, SectorBytes());
    if (!encoded)
        return false;
    flash_[kSettingsArea] = *encoded;
    log_.push_back("device: settings saved");
    FlashChangedLocked();
    return true;
}

std::optional<SettingsImage> SimDevice::SavedSettings()
{
    std::lock_guard lock(mutex_);
    return DecodeSettings(flash_[kSettingsArea]);
}

void SimDevice::ReloadSettingsLocked()
{
    if (auto saved = DecodeSettings(flash_[kSettingsArea]))
        live_settings_ = std::move(*saved);
}

FaultAction SimDevice::OnCommand(std::string_view road, std::string_view line)
{
    std::lock_guard lock(mutex_);
    log_.push_back(std::string(road) + ": " + Printable(line));
    auto hit = [&](const std::vector<CountedFault>& faults, std::vector<int>& seen) {
        bool fired = false;
        for (std::size_t i = 0; i < faults.size(); ++i)
            if (StartsWithNoCase(line, faults[i].Command) && ++seen[i] == faults[i].N)
                fired = true;
        return fired;
    };
    const bool no_reply = hit(options_.Faults.NoReply, no_reply_seen_);
    const bool error_word = hit(options_.Faults.ErrorWord, error_word_seen_);
    const bool kanji = hit(options_.Faults.KanjiError, kanji_error_seen_);
    if (no_reply) {
        log_.push_back("fault: no reply");
        return FaultAction::NoReply;
    }
    if (error_word) {
        log_.push_back("fault: ERROR!");
        return FaultAction::ErrorWord;
    }
    if (kanji) {
        log_.push_back("fault: kanji error word");
        return FaultAction::KanjiError;
    }
    return FaultAction::None;
}

void SimDevice::Log(std::string_view road, std::string_view text)
{
    std::lock_guard lock(mutex_);
    log_.push_back(std::string(road) + ": " + Printable(text));
}

std::vector<std::string> SimDevice::CommandLog()
{
    std::lock_guard lock(mutex_);
    return log_;
}

bool SimDevice::NextDownloadFails()
{
    std::lock_guard lock(mutex_);
    return ++downloads_seen_ == options_.Faults.DlError;
}

bool SimDevice::NextDownloadDrops()
{
    std::lock_guard lock(mutex_);
    return ++drops_seen_ == options_.Faults.DropMidBlock;
}

bool SimDevice::NextUploadBadFcs()
{
    std::lock_guard lock(mutex_);
    return ++uploads_seen_ == options_.Faults.BadUploadFcs;
}

bool SimDevice::StreamLineFails()
{
    std::lock_guard lock(mutex_);
    ++stream_lines_;
    if (stream_error_done_ || options_.Faults.StreamErrorLine <= 0 || stream_lines_ != options_.Faults.StreamErrorLine)
        return false;
    stream_error_done_ = true;
    return true;
}

void SimDevice::FlashChangedLocked()
{
    SaveStateLocked();
}

bool SimDevice::SaveState()
{
    std::lock_guard lock(mutex_);
    return SaveStateLocked();
}

bool SimDevice::SaveStateLocked()
{
    if (options_.StatePath.empty() || options_.ReadOnly)
        return true;
    std::vector<uint8_t> out(kStateMagic, kStateMagic + sizeof kStateMagic);
    const uint32_t sector = static_cast<uint32_t>(SectorBytes());
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(sector >> (8 * i)));
    out.push_back(program_written_ ? 1 : 0);
    for (const auto& area : flash_) {
        const bool erased = AllErased(area);
        out.push_back(erased ? 1 : 0);
        if (!erased)
            out.insert(out.end(), area.begin(), area.end());
    }
    // Written whole to a temporary file, flushed, then renamed over the old one: a power cut
    // leaves either the old state or the new one.
    const std::string tmp = options_.StatePath + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::write(fd, out.data() + done, out.size() - done);
        if (n <= 0) {
            ::close(fd);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (!synced || std::rename(tmp.c_str(), options_.StatePath.c_str()) != 0)
        return false;
    const std::string dir = std::filesystem::path(options_.StatePath).parent_path().string();
    const int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

bool SimDevice::LoadStateLocked(std::string* error)
{
    std::ifstream in(options_.StatePath, std::ios::binary);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t pos = 0;
    auto fail = [&](const char* why) {
        if (error)
            *error = options_.StatePath + ": " + why;
        return false;
    };
    if (data.size() < sizeof kStateMagic + 5 || std::memcmp(data.data(), kStateMagic, sizeof kStateMagic) != 0)
        return fail("not a simulator state file");
    pos = sizeof kStateMagic;
    uint32_t sector = 0;
    for (int i = 0; i < 4; ++i)
        sector |= static_cast<uint32_t>(data[pos++]) << (8 * i);
    if (sector != SectorBytes())
        return fail("made for another flash layout (SECT_END_ADR)");
    program_written_ = data[pos++] != 0;
    for (auto& area : flash_) {
        if (pos >= data.size())
            return fail("truncated");
        const bool erased = data[pos++] != 0;
        area.assign(SectorBytes(), 0xFF);
        if (!erased) {
            if (data.size() - pos < SectorBytes())
                return fail("truncated");
            std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(pos), SectorBytes(), area.begin());
            pos += SectorBytes();
        }
    }
    return true;
}

}  // namespace devsim
