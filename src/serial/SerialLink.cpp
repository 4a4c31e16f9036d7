#include "serial/SerialLink.h"

#include <algorithm>
#include <system_error>

#include "protocol/ReplyText.h"

namespace verup {
namespace {

// Bounded real-time wait of the reader, so that a stop request is seen even when the port
// cannot be interrupted.
constexpr auto READER_READ_SLICE = std::chrono::milliseconds(500);
// A failed port (the other end of a pseudo-terminal gone) is retried after this pause.
constexpr auto READER_FAILED_PORT_PAUSE = std::chrono::milliseconds(20);
// Bulk mode reads up to this many bytes at a time.
constexpr std::size_t READ_CHUNK_BYTES = 4096;
// Least real time the reader gets to start.
constexpr auto READER_START_FLOOR = std::chrono::seconds(2);

constexpr int READER_STOP = 0;
constexpr int READER_STARTING = 1;
constexpr int READER_RUNNING = 9;
constexpr int READER_FINISHED = 99;

std::string_view UpToZero(std::string_view text)
{
    const std::size_t zero = text.find('\0');
    return zero == std::string_view::npos ? text : text.substr(0, zero);
}

}  // namespace

SerialLink::SerialLink(const Clock& clock) : SerialLink(clock, MakeSystemSerialPort()) {}

SerialLink::SerialLink(const Clock& clock, std::unique_ptr<SerialPort> port) : clock_(clock), port_(std::move(port)) {}

SerialLink::~SerialLink()
{
    Close();
}

bool SerialLink::IsOpen() const
{
    std::lock_guard lock(mutex_);
    return open_;
}

int SerialLink::Open(const std::string& name)
{
    Close();
    open_failure_.clear();
    {
        std::lock_guard lock(mutex_);
        reader_state_ = READER_STOP;
        buffer_.ResetForWrite();
        matcher_.Reset();
    }
    const PortOpenResult opened = port_->Open(name);
    if (!opened.Ok()) {
        open_failure_ = name + ": " + opened.Reason;
        return opened.Status == PortOpenStatus::SettingsRefused ? SERIAL_SETTINGS_REFUSED : SERIAL_OPEN_FAILED;
    }
    {
        std::lock_guard lock(mutex_);
        reader_state_ = READER_STARTING;
    }
    try {
        reader_ = std::thread([this] { ReaderThread(); });
    } catch (const std::system_error& e) {
        port_->Close();
        std::lock_guard lock(mutex_);
        reader_state_ = READER_STOP;
        open_failure_ = name + ": reader thread not started: " + e.what();
        return SERIAL_THREAD_FAILED;
    }
    bool running = false;
    {
        std::unique_lock lock(mutex_);
        // Starting a thread is the host's latency, not the device's: a large time scale must
        // not turn the allowance into a few real milliseconds.
        const auto deadline = std::max(clock_.DeadlineIn(READER_START_MS),
                                       std::chrono::steady_clock::now() + READER_START_FLOOR);
        running = changed_.wait_until(lock, deadline, [this] { return reader_state_ == READER_RUNNING; });
        open_ = running;
    }
    if (!running) {
        StopReader();
        port_->Close();
        open_failure_ = name + ": reader did not start in time";
        return SERIAL_READER_NOT_RUNNING;
    }
    port_->SetLines(true, true);
    return SERIAL_OPENED;
}

int SerialLink::Close()
{
    {
        std::lock_guard lock(mutex_);
        if (!open_)
            return 1;
    }
    port_->SetLines(false, false);
    StopReader();
    port_->Close();
    std::lock_guard lock(mutex_);
    open_ = false;
    return 1;
}

void SerialLink::StopReader()
{
    {
        std::lock_guard lock(mutex_);
        reader_state_ = READER_STOP;
    }
    changed_.notify_all();
    port_->Interrupt();
    if (reader_.joinable())
        reader_.join();
}

int SerialLink::Reopen(const std::string& name, int64_t pause_ms)
{
    Close();
    clock_.SleepMs(pause_ms);
    if (Open(name) != SERIAL_OPENED)
        return 0;
    clock_.SleepMs(REOPEN_SETTLE_MS);
    return 1;
}

void SerialLink::ReaderThread()
{
    {
        std::lock_guard lock(mutex_);
        if (reader_state_ != READER_STOP)
            reader_state_ = READER_RUNNING;
    }
    changed_.notify_all();
    uint8_t chunk[READ_CHUNK_BYTES];
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (reader_state_ == READER_STOP)
                break;
        }
        const int n = port_->Read(chunk, sizeof chunk, std::chrono::steady_clock::now() + READER_READ_SLICE);
        if (n < 0) {
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, READER_FAILED_PORT_PAUSE, [this] { return reader_state_ == READER_STOP; });
            continue;
        }
        if (n == 0)
            continue;
        {
            std::lock_guard lock(mutex_);
            if (words_.ExpectedReply.load() == RK_UPLOAD_BULK) {
                matcher_.OnBulkBytes(chunk, static_cast<std::size_t>(n));
            } else {
                for (int i = 0; i < n; ++i)
                    matcher_.OnByte(chunk[i]);
            }
        }
        changed_.notify_all();
    }
    {
        std::lock_guard lock(mutex_);
        reader_state_ = READER_FINISHED;
    }
    changed_.notify_all();
}

int SerialLink::Write(std::string_view data)
{
    {
        std::lock_guard lock(mutex_);
        buffer_.ResetForWrite();
        matcher_.Reset();
    }
    if (data.empty())
        return 0;
    const int64_t timeout = WRITE_TIMEOUT_BASE_MS + WRITE_TIMEOUT_PER_BYTE_MS * static_cast<int64_t>(data.size());
    const int n = port_->Write(reinterpret_cast<const uint8_t*>(data.data()), data.size(), clock_.DeadlineIn(timeout));
    return n == static_cast<int>(data.size()) ? n : -1;
}

int SerialLink::Exchange(const std::string& command, std::string& reply, int timeout_ms, int kind)
{
    // Armed before the write so that a fast reply is not lost.
    words_.ExpectedReply.store(kind);
    words_.ExchangeState.store(STATE_WAITING);
    words_.MatchingEnabled.store(true);
    words_.ReplyEvent.Reset();
    {
        std::lock_guard lock(mutex_);
        matcher_.StartExchange();
    }
    if (Write(command) <= 0)
        return EXCHANGE_NOT_SENT;
    if (!words_.ReplyEvent.WaitMs(clock_, timeout_ms)) {
        int waiting = STATE_WAITING;
        words_.ExchangeState.compare_exchange_strong(waiting, STATE_TIMED_OUT);
        words_.ReplyEvent.Set();
    }
    std::lock_guard lock(mutex_);
    reply.assign(buffer_.Bytes());
    switch (words_.ExchangeState.load()) {
    case STATE_TIMED_OUT:
        return EXCHANGE_TIMEOUT;
    case STATE_ERROR_WORD:
        return EXCHANGE_ERROR_WORD;
    default:
        return EXCHANGE_OK;
    }
}

void SerialLink::ClearReceiveBuffer()
{
    std::lock_guard lock(mutex_);
    buffer_.ZeroAll();
    matcher_.Reset();
}

bool SerialLink::ErrorWordReceived() const
{
    std::lock_guard lock(mutex_);
    return matcher_.ErrorWordSeen();
}

void SerialLink::ZeroReceivedHead()
{
    std::lock_guard lock(mutex_);
    buffer_.ZeroHead();
    matcher_.HeadZeroed();
}

std::string SerialLink::Received() const
{
    std::lock_guard lock(mutex_);
    return std::string(buffer_.Bytes());
}

SerialLink::WaitResult SerialLink::WaitForReceived(std::string_view word, const std::function<bool()>& stop,
                                                   bool stop_on_error_word)
{
    std::unique_lock lock(mutex_);
    std::size_t from = 0;
    WaitResult result = WaitResult::Stopped;
    changed_.wait(lock, [&] {
        const std::string_view text = UpToZero(buffer_.Bytes());
        if (from > text.size())
            from = 0;
        if (FindText(text.substr(from), word) > 0) {
            result = WaitResult::Found;
            return true;
        }
        // Only a window that reaches new bytes can hold the word next time.
        from = text.size() >= word.size() ? text.size() - word.size() + 1 : 0;
        if (stop_on_error_word && (matcher_.ErrorWordSeen() || matcher_.Overflowed())) {
            result = WaitResult::ErrorWord;
            return true;
        }
        return stop() || matcher_.Overflowed();
    });
    return result;
}

void SerialLink::Wake()
{
    { std::lock_guard lock(mutex_); }
    changed_.notify_all();
}

}  // namespace verup
