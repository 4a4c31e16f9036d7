// The steps that work with the boot monitor and the device's restarts: the restart wait, the
// checksum commands, and the three image downloads that stream S-record lines to the monitor.
#include <optional>

#include "serial/SerialRoad.h"
#include "image/ImageFiles.h"
#include "image/ImageLimits.h"
#include "image/LineTable.h"
#include "protocol/ReplyText.h"
#include "protocol/TextFormat.h"
#include "serial/SerialCommands.h"
#include "serial/SerialLink.h"

namespace verup {
namespace {

using namespace serial_cmd;

constexpr int TRANSFER_RUNNING = 0;
constexpr int TRANSFER_CONFIRMED = static_cast<int>(TransferResult::Confirmed);
constexpr int TRANSFER_FAILED = static_cast<int>(TransferResult::NotWritten);
constexpr std::size_t CHECKSUM_CHARS = 4;

// The two values of a "cs\r" reply, each the four characters after a "(".
// Example reply: "cs\r\r\nF-ROM SUM(0000) RAM SUM(3a7c)\r\nF-ROM>"
struct Checksums {
    std::string First;
    std::string Second;
};

// nullopt when a "(" is missing: the values are then unknown and the check fails.
std::optional<Checksums> ReadChecksums(const std::string& reply)
{
    std::string_view text(reply);
    text = text.substr(0, text.find('\0'));
    const std::size_t first = text.find('(');
    if (first == std::string_view::npos)
        return std::nullopt;
    const std::size_t second = text.find('(', first + 1);
    if (second == std::string_view::npos)
        return std::nullopt;
    return Checksums{std::string(text.substr(first + 1, CHECKSUM_CHARS)),
                     std::string(text.substr(second + 1, CHECKSUM_CHARS))};
}

bool IsZeroSum(const std::string& value)
{
    return value.size() == CHECKSUM_CHARS && FindText(value, CHECKSUM_ZERO) == 1;
}


}  // namespace

SerialRoad::SerialRoad(RoadContext context, std::unique_ptr<SerialLink> port)
    : ctx_(std::move(context)),
      port_(port ? std::move(port) : std::make_unique<SerialLink>(ctx_.clock)),
      channel_(ctx_.clock, *port_, CommandChannel::Numbering::Serial)
{
    channel_.AttemptCount = ctx_.cfg.RETRY;
}

SerialRoad::SerialRoad(RoadContext context, ExchangeLink& link)
    : ctx_(std::move(context)), channel_(ctx_.clock, link, CommandChannel::Numbering::Serial)
{
    channel_.AttemptCount = ctx_.cfg.RETRY;
}

SerialRoad::~SerialRoad()
{
    ctx_.timers.Kill(TIMER_WATCHDOG);
    if (port_)
        port_->Close();
}

void SerialRoad::OnWatchdog()
{
    transfer_state_ = static_cast<int>(TransferResult::WatchdogExpired);
}

bool SerialRoad::EnterShell(std::string& problem)
{
    if (channel_.SerialCommand(SHELL, static_cast<int>(SHELL_TIMEOUT_MS), RK_SHELL_PROMPT) <= 0) {
        problem = "the device's shell did not answer (ATT1)";
        return false;
    }
    channel_.SerialCommand(NUDGE, static_cast<int>(SHELL_TIMEOUT_MS), RK_SHELL_PROMPT);
    return true;
}

void SerialRoad::LeaveShell()
{
    channel_.SerialCommand(SHELL_EXIT, static_cast<int>(SHELL_TIMEOUT_MS), RK_OK);
}

DeviceWait SerialRoad::WaitForDevice(int pause_ms, int probe_flag)
{
    const int attempts = channel_.AttemptCount;
    if (attempts <= 0)
        return DeviceWait::NotAnswered;
    for (int reopen = 0; reopen < attempts; ++reopen) {
        if (port_)
            port_->Reopen(ComPortName, RESTART_REOPEN_PAUSE_MS);
        ctx_.clock.SleepMs(pause_ms);
        for (int test = 0; test < attempts; ++test) {
            const bool answered = probe_flag == 0
                                      ? channel_.SerialCommand(ATTENTION, ATTENTION_TIMEOUT_MS, RK_OK, true) > 0
                                      : ProbeDevice(1) != PROBE_NONE;
            if (answered)
                return DeviceWait::Answered;
            ctx_.clock.SleepMs(RETEST_PAUSE_MS);
        }
    }
    return DeviceWait::NotAnswered;
}

ChecksumResult SerialRoad::FixRamChecksum()
{
    ctx_.clock.SleepMs(CHECKSUM_SETTLE_MS);
    if (channel_.SerialCommand(CHECKSUM, CHECKSUM_TIMEOUT_MS, RK_FROM_PROMPT) == 0)
        return ChecksumResult::Failed;
    const std::optional<Checksums> before = ReadChecksums(channel_.ReplyBuffer);
    if (!before) {
        ctx_.Log("RAM.Check.Sum reply without its values\r\n");
        return ChecksumResult::Failed;
    }
    ctx_.Log("RAM.Check.Sum = " + before->Second + "\r\n");

    const std::string command = FormatText(WRITE_WORD_FORMAT, static_cast<unsigned>(ctx_.cfg.PROG_RAM_STR_ADR + ctx_.cfg.CHECK_SUM_ADR),
                                           before->Second.c_str());
    if (channel_.SerialCommand(command, CHECKSUM_TIMEOUT_MS, RK_FROM_PROMPT) == 0)
        return ChecksumResult::Failed;
    if (channel_.SerialCommand(CHECKSUM, CHECKSUM_TIMEOUT_MS, RK_FROM_PROMPT) == 0)
        return ChecksumResult::Failed;
    const std::optional<Checksums> after = ReadChecksums(channel_.ReplyBuffer);
    if (!after || !IsZeroSum(after->Second))
        return ChecksumResult::Failed;
    ctx_.Log("RAM.Check.Sum = " + after->Second + "\r\n");
    return ChecksumResult::Zero;
}

ChecksumResult SerialRoad::CheckFlashChecksum()
{
    if (channel_.SerialCommand(CHECKSUM, CHECKSUM_TIMEOUT_MS, RK_FROM_PROMPT) == 0)
        return ChecksumResult::Failed;
    const std::optional<Checksums> sums = ReadChecksums(channel_.ReplyBuffer);
    return sums && IsZeroSum(sums->First) ? ChecksumResult::Zero : ChecksumResult::Failed;
}

namespace {

// TIMER_WATCHDOG for one download routine: the timer sets the transfer state to 999, and the
// link's waits are woken to see it. Killed on every way out.
class DownloadWatchdog {
public:
    DownloadWatchdog(TimerService& timers, SerialRoad& road, int64_t period_ms) : timers_(timers)
    {
        timers_.Set(TIMER_WATCHDOG, period_ms, [road = &road] {
            road->OnWatchdog();
            if (road->Port() != nullptr)
                road->Port()->Wake();
        });
    }
    ~DownloadWatchdog() { timers_.Kill(TIMER_WATCHDOG); }
    DownloadWatchdog(const DownloadWatchdog&) = delete;
    DownloadWatchdog& operator=(const DownloadWatchdog&) = delete;

private:
    TimerService& timers_;
};

// After the last line: the monitor's final word, or the watchdog. An "ERROR!" from the monitor
// ends the wait too: the download has failed, and waiting for the watchdog gains nothing.
void AwaitConfirmation(SerialLink& link, std::atomic<int>& state, std::string_view word)
{
    const auto stopped = [&] { return state.load() != TRANSFER_RUNNING; };
    const SerialLink::WaitResult result = link.WaitForReceived(word, stopped, true);
    int running = TRANSFER_RUNNING;
    if (result == SerialLink::WaitResult::Found) {
        state.compare_exchange_strong(running, TRANSFER_CONFIRMED);
    } else if (result == SerialLink::WaitResult::ErrorWord) {
        link.ZeroReceivedHead();
        state.compare_exchange_strong(running, TRANSFER_FAILED);
    }
}

// A raw line, with the recognizer off; false when it was not written whole.
bool WriteRawLine(SerialLink& link, std::string_view line)
{
    link.SetMatchingEnabled(false);
    return link.Write(line) == static_cast<int>(line.size());
}

// "ERROR!" since the last line began: the try has failed.
bool MonitorReportedError(SerialLink& link)
{
    if (!link.ErrorWordReceived())
        return false;
    link.ZeroReceivedHead();
    return true;
}

}  // namespace

TransferResult SerialRoad::StreamLineTable(const LineTable& table, int64_t watchdog_ms)
{
    SerialLink* link = port_.get();
    if (link == nullptr)
        return TransferResult::NotWritten;
    DownloadWatchdog watchdog(ctx_.timers, *this, watchdog_ms);
    for (int attempt = 0; attempt < channel_.AttemptCount; ++attempt) {
        transfer_state_ = TRANSFER_RUNNING;
        if (channel_.SerialCommand(DOWNLOAD, DOWNLOAD_TIMEOUT_MS, RK_READY) <= 0)
            continue;
        for (std::size_t i = 0; i < table.Count(); ++i) {
            if (!WriteRawLine(*link, table.Line(i)) || MonitorReportedError(*link)) {
                transfer_state_ = TRANSFER_FAILED;
                break;
            }
        }
        if (transfer_state_ == TRANSFER_RUNNING)
            AwaitConfirmation(*link, transfer_state_, DOWNLOAD_DONE);
        if (transfer_state_ == TRANSFER_CONFIRMED)
            break;
    }
    return static_cast<TransferResult>(transfer_state_.load());
}

TransferResult SerialRoad::DownloadBootImage(int)
{
    const ImagePreflight& images = ctx_.package.Images();
    if (!images.Writes.Boot)
        return TransferResult::NotWritten;
    return StreamLineTable(images.BootLines, BOOT_WATCHDOG_MS);
}

TransferResult SerialRoad::DownloadFpgaImage(int image)
{
    const ImagePreflight& images = ctx_.package.Images();
    const LineTable& lines = image == 1 ? images.Fpga1Lines : images.Fpga2Lines;
    if (!images.Writes.Fpga)
        return TransferResult::NotWritten;
    return StreamLineTable(lines, FPGA_WATCHDOG_MS);
}

TransferResult SerialRoad::DownloadProgram(std::string_view text, int line_count, int sector_count)
{
    SerialLink* link = port_.get();
    // The ticks are counted per sector: an image without sectors cannot be downloaded.
    if (link == nullptr || sector_count <= 0)
        return TransferResult::NotWritten;
    const int lines_per_tick = line_count / sector_count;
    const int remainder = line_count % sector_count;

    DownloadWatchdog watchdog(ctx_.timers, *this, PROGRAM_WATCHDOG_MS);
    for (int attempt = 0; attempt < channel_.AttemptCount; ++attempt) {
        ctx_.progress.Rewind(Reporter::Step::ProgramDownload);
        transfer_state_ = TRANSFER_RUNNING;
        if (channel_.SerialCommand(DOWNLOAD_PROGRAM, DOWNLOAD_PROGRAM_TIMEOUT_MS, RK_READY) <= 0)
            continue;
        int lines_in_tick = 0;
        std::size_t line_start = 0;
        for (std::size_t i = 0; i + 1 < text.size(); ++i) {
            if (text[i] != '\r' || text[i + 1] != '\n')
                continue;  // a CR without LF stays part of the line
            const std::size_t line_end = i + 2;
            if (MonitorReportedError(*link) || !WriteRawLine(*link, text.substr(line_start, line_end - line_start))) {
                transfer_state_ = TRANSFER_FAILED;
                break;
            }
            line_start = line_end;
            ++i;
            if (++lines_in_tick == lines_per_tick) {
                lines_in_tick = 0;
                ctx_.progress.Move(Reporter::Step::ProgramDownload);
            } else if (line_end == text.size() && remainder != 0) {
                ctx_.progress.Move(Reporter::Step::ProgramDownload);
            }
        }
        if (transfer_state_ == TRANSFER_RUNNING && MonitorReportedError(*link))
            transfer_state_ = TRANSFER_FAILED;
        if (transfer_state_ == TRANSFER_RUNNING)
            AwaitConfirmation(*link, transfer_state_, PROGRAM_DOWNLOAD_DONE);
        if (transfer_state_ == TRANSFER_CONFIRMED)
            break;
    }
    return static_cast<TransferResult>(transfer_state_.load());
}

}  // namespace verup
