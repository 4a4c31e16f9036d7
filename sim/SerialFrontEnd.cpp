#include "SerialFrontEnd.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "SRecordLine.h"

namespace devsim {
namespace {

// Serial protocol words.
constexpr std::string_view kOk = "\r\nOK\r\n";
constexpr std::string_view kShellPrompt = "\r\n# ";
constexpr std::string_view kF0Prompt = "\r\nF0>";
constexpr std::string_view kF1Prompt = "\r\nF1>";
constexpr std::string_view kFlashPrompt = "\r\nF-ROM>";
constexpr std::string_view kReady = "\r\nREADY:\r\n";
constexpr std::string_view kMonitorEraseOk = "\r\n Erase OK ";
constexpr std::string_view kMonitorWriteOk = "\r\n Write OK ";
constexpr std::string_view kMpOk = "\r\nMP.OK";
constexpr std::string_view kDownLoadOk = "\r\nDown Load OK";
constexpr std::string_view kProgramDownLoadOk = "\r\nProgram Down Load OK";
constexpr std::string_view kMonitorError = "\r\nERROR!";
constexpr uint8_t kXon = 0x11;

// 115200 baud, 10 bits a byte (start, 8 data, stop): device microseconds per byte.
constexpr double kByteMicros = 10.0 * 1e6 / 115200.0;
// Real ms between polls of the port; short, so a reopened port is noticed at once.
constexpr int kPollRealMs = 10;

bool IsWakeUp(uint8_t b) { return b == 'A' || b == 'S' || b == kXon; }

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::string Upper(std::string_view text)
{
    std::string out(text);
    for (auto& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// "ER05" -> 5; -1 when the rest is not a decimal number.
int AreaNumber(std::string_view rest)
{
    if (rest.empty() || rest.size() > 3)
        return -1;
    for (char c : rest)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return -1;
    return std::atoi(std::string(rest).c_str());
}

}  // namespace

SerialFrontEnd::SerialFrontEnd(SimDevice& device, SerialOptions options)
    : device_(device), options_(std::move(options)), shell_(device, Road::Serial)
{
}

SerialFrontEnd::~SerialFrontEnd() { Stop(); }

bool SerialFrontEnd::Start(std::string* error)
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        if (error)
            *error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[256] = {};
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        if (error)
            *error = "cannot name the pseudo-terminal";
        return false;
    }
    slave_path_ = name;
    termios tio{};
    if (::tcgetattr(master_, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        ::tcsetattr(master_, TCSANOW, &tio);
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    if (!options_.LinkPath.empty()) {
        ::unlink(options_.LinkPath.c_str());
        if (::symlink(slave_path_.c_str(), options_.LinkPath.c_str()) != 0) {
            if (error)
                *error = "cannot make the link " + options_.LinkPath + ": " + std::strerror(errno);
            return false;
        }
    }
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void SerialFrontEnd::Stop()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
    if (!options_.LinkPath.empty())
        ::unlink(options_.LinkPath.c_str());
}

void SerialFrontEnd::ResetSession()
{
    session_boot_ = device_.BootCount();
    line_.clear();
    state_ = device_.Mode() == RunMode::Monitor ? State::F1 : State::At;
}

void SerialFrontEnd::EnterStartLevel()
{
    switch (device_.Options().StartIn) {
    case StartLevel::Shell:
        if (state_ == State::At)
            state_ = State::Shell;
        break;
    case StartLevel::FlashMonitor:
        if (state_ == State::F1)
            state_ = State::FlashMon;
        break;
    case StartLevel::Download:
        // "DP" was answered and the stream broke off inside a record.
        if (state_ == State::F1) {
            state_ = State::Download;
            program_download_ = true;
            device_.ClearRam();
            line_ = "S31500400000";
        }
        break;
    default:
        break;
    }
}

void SerialFrontEnd::Run()
{
    ResetSession();
    EnterStartLevel();
    uint8_t buffer[4096];
    while (!stop_) {
        device_.Tick();
        if (device_.BootCount() != session_boot_)
            ResetSession();
        pollfd pfd{master_, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, kPollRealMs);
        if (ready <= 0)
            continue;
        if ((pfd.revents & POLLIN) == 0 && (pfd.revents & (POLLHUP | POLLERR)) != 0) {
            // No slave open (the tool closed the port): nothing to read, nobody to write to;
            // what was still queued for the closed port is lost, as on a cable.
            if (slave_open_)
                DropStaleOutput();
            slave_open_ = false;
            ::usleep(kPollRealMs * 1000);
            continue;
        }
        const std::size_t chunk = options_.BaudPacing ? 64 : sizeof buffer;
        const ssize_t n = ::read(master_, buffer, chunk);
        if (n <= 0) {
            if (n < 0 && errno == EIO) {
                slave_open_ = false;
                ::usleep(kPollRealMs * 1000);
            }
            continue;
        }
        slave_open_ = true;
        Pace(static_cast<std::size_t>(n), in_cursor_);
        for (ssize_t i = 0; i < n && !stop_; ++i) {
            if (device_.BootCount() != session_boot_)
                ResetSession();
            if (device_.Mode() == RunMode::Restarting)
                continue;  // a restarting device hears nothing
            OnByte(buffer[i]);
        }
    }
}

void SerialFrontEnd::Pace(std::size_t bytes, std::chrono::steady_clock::time_point& cursor)
{
    if (!options_.BaudPacing)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (cursor < now)
        cursor = now;
    const double real_us = static_cast<double>(bytes) * kByteMicros / device_.Clock().Scale();
    cursor += std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double, std::micro>(real_us));
    std::this_thread::sleep_until(cursor);
}

void SerialFrontEnd::Write(std::string_view bytes)
{
    if (master_ < 0 || !slave_open_)
        return;
    pollfd hup{master_, 0, 0};
    if (::poll(&hup, 1, 0) > 0 && (hup.revents & POLLHUP) != 0) {
        slave_open_ = false;
        DropStaleOutput();
        return;
    }
    std::size_t done = 0;
    while (done < bytes.size() && !stop_) {
        const std::size_t chunk = options_.BaudPacing ? std::min<std::size_t>(64, bytes.size() - done) : bytes.size() - done;
        const ssize_t n = ::write(master_, bytes.data() + done, chunk);
        if (n > 0) {
            Pace(static_cast<std::size_t>(n), out_cursor_);
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd pfd{master_, POLLOUT, 0};
            ::poll(&pfd, 1, kPollRealMs);
        } else {
            return;  // the port was closed under us: the bytes are lost, as on a cable
        }
    }
}

// Bytes the closed port never read stay queued in the slave side and would greet whoever
// opens it next; a cable would have lost them. Only the slave side can drop them.
void SerialFrontEnd::DropStaleOutput()
{
    ::tcflush(master_, TCIOFLUSH);
    const int slave = ::open(slave_path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave >= 0) {
        ::tcflush(slave, TCIOFLUSH);
        ::close(slave);
    }
}

void SerialFrontEnd::Echo(std::string_view bytes) { Write(bytes); }

void SerialFrontEnd::Reply(std::string_view bytes)
{
    device_.Clock().SleepMs(device_.Options().Faults.ReplyDelayMs);
    Write(bytes);
}

void SerialFrontEnd::OnByte(uint8_t byte)
{
    const char c = static_cast<char>(byte);
    switch (state_) {
    case State::At:
        if (byte != kXon)
            Echo(std::string_view(&c, 1));
        if (byte == '\r') {
            std::string line;
            line.swap(line_);
            OnAtLine(line);
        } else if (byte != '\n' && byte != kXon) {
            line_ += c;
        }
        return;
    case State::Shell:
        Echo(std::string_view(&c, 1));
        if (byte == '\r') {
            std::string line;
            line.swap(line_);
            OnShellLine(line);
        } else if (byte != '\n') {
            line_ += c;
        }
        return;
    case State::Download:
        if (byte == '\n') {
            std::string line;
            line.swap(line_);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty())
                OnDownloadLine(line);
        } else if (byte != 0xFE) {
            line_ += c;
        }
        return;
    case State::Drain:
        // S-record lines that were already on their way when "ERROR!" went out.
        if (line_.empty() && byte == 'S') {
            line_ = "S";
            return;
        }
        if (!line_.empty() && line_[0] == 'S') {
            if (byte == '\n')
                line_.clear();
            else
                line_ += c;
            return;
        }
        state_ = State::FlashMon;
        [[fallthrough]];
    case State::F1:
    case State::FlashMon:
        // A wake-up byte shows the prompt of the level the monitor is at: "F1>", or
        // "F-ROM>" once "FROM" has taken it to the flash monitor, which it stays in.
        if (line_.empty() && IsWakeUp(byte)) {
            if (device_.TakeRefusal())
                return;
            Reply(state_ == State::F1 ? kF1Prompt : kFlashPrompt);
            return;
        }
        if (byte == '\n')
            return;
        Echo(std::string_view(&c, 1));
        if (byte == '\r') {
            std::string line;
            line.swap(line_);
            OnMonitorLine(line);
        } else {
            line_ += c;
        }
        return;
    }
}

// Example: "AT$I99=157" -> "\r\nOK\r\n"; wake-up bytes before a command are dropped.
void SerialFrontEnd::OnAtLine(const std::string& raw)
{
    const std::string lower = Lower(raw);
    const auto at = lower.find("at");
    if (at == std::string::npos)
        return;  // wake-up bytes or an empty line: no answer
    const std::string command = raw.substr(at);
    if (device_.TakeRefusal())
        return;
    const FaultAction fault = device_.OnCommand("serial", command);
    if (fault == FaultAction::NoReply)
        return;
    if (fault != FaultAction::None) {
        Reply(FaultText(fault) + std::string(kOk));
        return;
    }
    const std::string upper = Upper(command);
    if (upper == "AT$I99=157" || upper == "AT" || upper == "AT%Z") {
        Reply(kOk);
    } else if (upper == "ATI") {
        Reply("\r\n" + device_.ProductWord() + " Network Terminal\r\n" + std::string(kOk));
    } else if (upper == "AT%I2") {
        Reply("\r\n" + device_.VersionText() + "\r\n" + std::string(kOk));
    } else if (upper == "ATT1") {
        state_ = State::Shell;
        Reply(kShellPrompt);
    } else if (upper == "AT!F1") {
        device_.Restart(true);
        Reply(kF0Prompt);
    } else {
        Reply("\r\nERROR\r\n");
    }
}

void SerialFrontEnd::OnShellLine(const std::string& line)
{
    if (line.empty()) {
        Reply(kShellPrompt);
        return;
    }
    const FaultAction fault = device_.OnCommand("serial", line);
    if (fault == FaultAction::NoReply)
        return;
    if (fault != FaultAction::None) {
        Reply(FaultText(fault) + std::string(kShellPrompt));
        return;
    }
    const ShellReply r = shell_.Execute(line);
    // The restart begins as the reply goes out: whoever reads the reply finds the device
    // already restarting.
    if (r.After == ShellReply::Then::Restart)
        device_.Restart(false);
    else if (r.After == ShellReply::Then::LeaveShell)
        state_ = State::At;
    Reply(r.Text + (r.Prompt ? std::string(kShellPrompt) : std::string()));
}

void SerialFrontEnd::OnMonitorLine(const std::string& line)
{
    const std::string prompt(state_ == State::F1 ? kF1Prompt : kFlashPrompt);
    if (line.empty()) {
        Reply(prompt);
        return;
    }
    if (device_.TakeRefusal())
        return;
    const FaultAction fault = device_.OnCommand("serial", line);
    if (fault == FaultAction::NoReply)
        return;
    if (fault != FaultAction::None) {
        Reply(FaultText(fault) + prompt);
        return;
    }
    const std::string upper = Upper(line);
    if (upper == "FROM") {
        state_ = State::FlashMon;
        Reply(kFlashPrompt);
        return;
    }
    if (state_ == State::F1) {
        // Unknown words (the "TT1" left of "ATT1" after its wake-up byte, shell commands)
        // get the monitor's error word, so the sender does not wait for its time-out.
        Reply(std::string(kMonitorError) + prompt);
        return;
    }
    const auto& cfg = device_.Profile().Cfg;
    const std::size_t sector = device_.Profile().SectorBytes();
    if (StartsWith(upper, "ER") && AreaNumber(std::string_view(upper).substr(2)) >= 0) {
        device_.Clock().SleepMs(kFlashEraseMs);
        const bool ok = device_.EraseArea(AreaNumber(std::string_view(upper).substr(2)));
        Reply(std::string(ok ? kMonitorEraseOk : kMonitorError) + prompt);
    } else if (upper == "DL" || upper == "DP") {
        program_download_ = upper == "DP";
        if (program_download_)
            device_.ClearRam();
        else
            sector_buffer_.assign(sector, 0xFF);
        state_ = State::Download;
        Reply(kReady);
    } else if (upper == "CS") {
        char text[96];
        std::snprintf(text, sizeof text, "\r\nFLASH SUM(%04X) RAM SUM(%04X)", device_.FlashChecksum(), device_.RamChecksum());
        Reply(text + prompt);
    } else if (StartsWith(upper, "MS/W")) {
        // "ms/w400400=1A2B": a word at a RAM address, both in hexadecimal.
        const auto eq = line.find('=');
        bool ok = eq != std::string::npos && eq > 4 && line.size() - eq - 1 == 4;
        const std::string address_text = ok ? line.substr(4, eq - 4) : std::string();
        const std::string value_text = ok ? line.substr(eq + 1) : std::string();
        char* end = nullptr;
        const unsigned long address = std::strtoul(address_text.c_str(), &end, 16);
        ok = ok && *end == '\0';
        const unsigned long value = std::strtoul(value_text.c_str(), &end, 16);
        ok = ok && *end == '\0' && device_.WriteRamWord(static_cast<uint32_t>(address), static_cast<uint16_t>(value));
        Reply(ok ? prompt : "\r\n?" + prompt);
    } else if (StartsWith(upper, "MP") && AreaNumber(std::string_view(upper).substr(2)) >= 1) {
        write_buffer_ = device_.RamSector(AreaNumber(std::string_view(upper).substr(2)));
        Reply(std::string(kMpOk) + prompt);
    } else if (StartsWith(upper, "WR") && AreaNumber(std::string_view(upper).substr(2)) >= 0) {
        if (write_buffer_.empty())
            write_buffer_.assign(sector, 0xFF);
        device_.Clock().SleepMs(kFlashWriteMs);
        const bool ok = device_.ProgramArea(AreaNumber(std::string_view(upper).substr(2)), 0, write_buffer_);
        Reply(std::string(ok ? kMonitorWriteOk : kMonitorError) + prompt);
    } else if (StartsWith(upper, "FPGAWR1") || StartsWith(upper, "FPGAWR2")) {
        // "FPGAWR1=01,12,-5": the FPGA's part of the downloaded sector, then its parameter
        // bytes in the last 16 bytes of that part.
        const uint32_t start = upper[6] == '1' ? cfg.FPGA1_STR_ADR : cfg.FPGA2_STR_ADR;
        if (sector_buffer_.empty())
            sector_buffer_.assign(sector, 0xFF);
        std::vector<uint8_t> part(sector_buffer_.begin() + start, sector_buffer_.begin() + start + cfg.FPGA_DATA_LEN);
        const auto eq = line.find('=');
        std::size_t k = 0;
        for (std::size_t pos = eq == std::string::npos ? line.size() : eq + 1; pos < line.size() && k < 16; ++k) {
            const auto comma = line.find(',', pos);
            const std::string field = line.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
            part[cfg.FPGA_DATA_LEN - 16 + k] = static_cast<uint8_t>(static_cast<int8_t>(std::atoi(field.c_str())));
            pos = comma == std::string::npos ? line.size() : comma + 1;
        }
        device_.Clock().SleepMs(kFlashWriteMs);
        const bool ok = device_.RewriteRange(cfg.FPGA, start, part);
        Reply(std::string(ok ? kMonitorWriteOk : kMonitorError) + prompt);
    } else if (upper == "FMONWR") {
        if (sector_buffer_.empty())
            sector_buffer_.assign(sector, 0xFF);
        device_.Clock().SleepMs(kFlashWriteMs);
        const bool ok = device_.ReplaceArea(SimDevice::kBootArea, sector_buffer_);
        Reply(std::string(ok ? kMonitorWriteOk : kMonitorError) + prompt);
    } else if (upper == "GO") {
        device_.Restart(false);
    } else {
        // Unknown words (the "TT1" left of "ATT1" after its wake-up byte, shell commands)
        // get the monitor's error word, so the sender does not wait for its time-out.
        Reply(std::string(kMonitorError) + prompt);
    }
}

void SerialFrontEnd::OnDownloadLine(const std::string& line)
{
    if (device_.StreamLineFails()) {
        device_.Log("serial", "fault: ERROR! while streaming");
        FinishDownload(false);
        return;
    }
    SRecordLine record;
    if (!ParseSRecordLine(line, record)) {
        device_.Log("serial", "bad S-record line " + line);
        FinishDownload(false);
        return;
    }
    if (record.IsTermination()) {
        FinishDownload(true);
        return;
    }
    if (!record.IsData())
        return;  // header and count records
    bool ok = false;
    if (program_download_) {
        const uint32_t start = device_.Profile().Cfg.PROG_RAM_STR_ADR;
        ok = record.Address >= start && device_.StoreRam(record.Address - start, record.Data);
    } else {
        const std::size_t offset = record.Address & 0xFFFFu;
        ok = offset + record.Data.size() <= sector_buffer_.size();
        if (ok)
            std::copy(record.Data.begin(), record.Data.end(), sector_buffer_.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    if (!ok) {
        device_.Log("serial", "S-record outside the area: " + line);
        FinishDownload(false);
    }
}

void SerialFrontEnd::FinishDownload(bool ok)
{
    if (ok) {
        state_ = State::FlashMon;
        device_.Log("serial", program_download_ ? "program download complete" : "download complete");
        Reply(std::string(program_download_ ? kProgramDownLoadOk : kDownLoadOk) + std::string(kFlashPrompt));
    } else {
        state_ = State::Drain;
        Reply(std::string(kMonitorError) + std::string(kFlashPrompt));
    }
}

}  // namespace devsim
