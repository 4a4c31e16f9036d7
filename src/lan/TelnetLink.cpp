#include "lan/TelnetLink.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "lan/TelnetWords.h"
#include "protocol/ReplyKind.h"

namespace verup {

using namespace telnet;

std::uint16_t TelnetLink::PortFromText(const char* text)
{
    if (text == nullptr || *text == '\0')
        return kTelnetPort;
    char* end = nullptr;
    const long port = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || port < 1 || port > 65535)
        return kTelnetPort;
    return static_cast<std::uint16_t>(port);
}

TelnetLink::TelnetLink(const Clock& clock, std::uint16_t port) : clock_(clock), port_(port) {}

TelnetLink::~TelnetLink() { Close(); }

void TelnetLink::SetNotify(Notify notify)
{
    std::lock_guard lock(mutex_);
    notify_ = std::move(notify);
}

int TelnetLink::Open(const std::string& address)
{
    if (reader_.joinable() || socket_.IsOpen())
        Close();
    std::string error;
    {
        std::lock_guard lock(mutex_);
        if (receive_.empty())
            receive_.assign(kReceiveBufferBytes, 0);
    }
    if (!socket_.StartConnect(address, port_, error)) {
        Close();
        return 0;
    }
    {
        std::lock_guard lock(mutex_);
        stop_ = false;
        connected_ = false;
        waiting_ = false;
        collector_count_ = 0;
        collector_active_ = false;
        receive_length_ = 0;
        words_.Reset();
        overflowed_ = false;
        dropped_ = 0;
        login_state_ = LOGIN_PENDING;
        login_running_ = false;
        negotiation_stage_ = 0;
        expected_reply_ = 1;
        negotiation_replies_.clear();
    }
    reply_event_.Reset();
    reader_ = std::thread([this] { ReaderLoop(); });
    return 1;
}

int TelnetLink::Close()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        // Sends fail from here on, and a running exchange (the login's, say) ends now.
        connected_ = false;
        if (waiting_ && exchange_state_ == STATE_WAITING)
            FinishExchangeLocked(STATE_TIMED_OUT);
    }
    changed_.notify_all();
    socket_.Wake();
    // The reader first: the buffer and the event stay until it cannot touch them. A login
    // running on its caller's thread sees its exchange end.
    if (reader_.joinable())
        reader_.join();
    if (socket_.IsOpen()) {
        socket_.CloseWithReset();
        clock_.SleepMs(kCloseSettleMs);
    }
    std::lock_guard lock(mutex_);
    std::vector<std::uint8_t>().swap(receive_);
    receive_length_ = 0;
    words_.Reset();
    connected_ = false;
    login_running_ = false;
    return 1;
}

// ---------------------------------------------------------------- reader side

void TelnetLink::ReaderLoop()
{
    auto idle_until_stopped = [this] {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return stop_; });
    };

    int error = 0;
    const TcpSocket::Event connected = socket_.WaitConnected(error);
    if (connected == TcpSocket::Event::Woken)
        return;
    if (connected == TcpSocket::Event::Failed) {
        // A failed connection leaves the link connecting; the connect watchdog gives up.
        idle_until_stopped();
        return;
    }
    Notify notify;
    {
        std::lock_guard lock(mutex_);
        if (stop_)
            return;
        connected_ = true;
        notify = notify_;
    }
    if (notify)
        notify(TELNET_CONNECTED);

    std::vector<std::uint8_t> chunk(kReadChunkBytes);
    std::size_t pos = 0;
    std::size_t len = 0;
    std::vector<int> notes;
    std::vector<std::uint8_t> replies;
    for (;;) {
        bool start_login = false;
        notes.clear();
        replies.clear();
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stop_ || pos == len || !ReaderHeldLocked(); });
            if (stop_)
                return;
            if (pos < len) {
                ReadPendingLocked(chunk.data(), pos, len, notes, start_login);
                replies.swap(negotiation_replies_);
            }
        }
        if (!replies.empty())
            (void)SendBytes(replies.data(), replies.size(), kSendTimeoutMs);
        for (const int note : notes)
            if (notify)
                notify(note);
        if (start_login)
            changed_.notify_all();  // the connecting thread runs the login
        if (pos < len)
            continue;

        const TcpSocket::Event readable = socket_.WaitReadable(error);
        if (readable == TcpSocket::Event::Woken)
            continue;
        if (readable == TcpSocket::Event::Failed) {
            idle_until_stopped();
            return;
        }
        const long n = socket_.Receive(chunk.data(), chunk.size(), error);
        if (n < 0 && (error == EAGAIN || error == EWOULDBLOCK))
            continue;
        if (n <= 0) {
            // The device closed or broke the connection. Nothing more arrives; exchanges time
            // out, as they would on a dead connection that is not watched.
            idle_until_stopped();
            return;
        }
        pos = 0;
        len = static_cast<std::size_t>(n);
    }
}

void TelnetLink::ReadPendingLocked(const std::uint8_t* data, std::size_t& pos, std::size_t len, std::vector<int>& notes,
                                   bool& start_login)
{
    if (expected_reply_ == TRK_UPLOAD_BULK) {
        // Bulk mode: the upload's data bypass negotiation and recognizer; "UL.OK" counts only
        // once a byte follows it.
        for (; pos < len; ++pos)
            if (!AppendLocked(data[pos]))
                OverflowLocked();
        if (waiting_ && !overflowed_ && UploadEndLocked()) {
            exchange_state_ = STATE_RECOGNISED;
            reply_event_.Set();
        }
        return;
    }
    while (pos < len) {
        if (ReaderHeldLocked())
            return;
        const int result = OnByteLocked(data[pos++]);
        if (result == TELNET_NEGOTIATED)
            notes.push_back(TELNET_NEGOTIATED);
        // One login per connection: a later prompt is text like any other.
        if (result == TELNET_PASSWORD_PROMPT && !login_running_ && login_state_ == LOGIN_PENDING && !stop_) {
            // The login's first exchange takes the bytes still to come as its reply.
            login_running_ = true;
            start_login = true;
            return;
        }
    }
}

int TelnetLink::OnByte(std::uint8_t byte)
{
    std::lock_guard lock(mutex_);
    return OnByteLocked(byte);
}

int TelnetLink::OnByteLocked(std::uint8_t byte)
{
    if (byte == IAC)
        collector_active_ = true;
    if (collector_active_) {
        collector_[collector_count_++] = byte;
        if (collector_count_ < 3)
            return 1;
        NegotiateLocked();
        collector_count_ = 0;
        collector_active_ = false;
        return TELNET_NEGOTIATED;
    }
    if (receive_.empty())
        return 0;
    if (!waiting_) {
        // Watch mode: the bytes before the login, and whatever arrives between exchanges.
        if (!AppendLocked(byte))
            ++dropped_;
        if (login_state_ != LOGIN_PENDING)
            return 1;
        return words_.PasswordPrompt() ? TELNET_PASSWORD_PROMPT : TELNET_READ;
    }
    if (!AppendLocked(byte)) {
        OverflowLocked();
        return TELNET_READ;
    }
    using W = ReplyWordWatch;
    switch (expected_reply_) {
    case TRK_COMMAND_PROMPT:
        if (words_.Found(W::CommandPrompt))
            exchange_state_ = STATE_RECOGNISED;
        break;
    case TRK_PASSWORD:
        if (words_.Found(W::PasswordLine))
            exchange_state_ = STATE_RECOGNISED;
        break;
    case TRK_ADMIN_PROMPT:
        if (words_.Found(W::AdminPrompt))
            exchange_state_ = STATE_RECOGNISED;
        break;
    case TRK_SHELL_PROMPT:
        if (words_.Found(W::CommandPrompt) || words_.Found(W::AdminPrompt))
            exchange_state_ = STATE_RECOGNISED;
        break;
    case TRK_DL_PROMPT:
        if (words_.Found(W::DownloadPrompt))
            exchange_state_ = STATE_RECOGNISED;
        break;
    case TRK_DL_RESULT:
        if (words_.Found(W::DownloadOk))
            exchange_state_ = STATE_RECOGNISED;
        else if (words_.Found(W::DownloadError))
            exchange_state_ = STATE_ERROR_WORD;
        break;
    case TRK_WRITE_OK:
        if (words_.Found(W::WriteOk))
            exchange_state_ = STATE_RECOGNISED;
        break;
    case TRK_ERASE_OK:
        if (words_.Found(W::EraseOk))
            exchange_state_ = STATE_RECOGNISED;
        break;
    default:
        break;
    }
    if (exchange_state_ == STATE_RECOGNISED || exchange_state_ == STATE_ERROR_WORD) {
        // The error text counts once the awaited word (the prompt after it) is in.
        if (words_.Found(W::ErrorWord))
            exchange_state_ = STATE_ERROR_WORD;
        reply_event_.Set();
    }
    return TELNET_READ;
}

// Example of what arrives right after the connection (hex):
// FF FB 01  FF FB 03  FF FD 01  FF FD 1F   (WILL ECHO, WILL SGA, DO ECHO, DO NAWS)
void TelnetLink::NegotiateLocked()
{
    if (collector_[0] != IAC)
        return;
    const std::uint8_t verb = collector_[1];
    const std::uint8_t option = collector_[2];
    if (verb == WILL && option == OPT_ECHO) {
        ReplyLocked(DO, OPT_ECHO);
    } else if (verb == WILL && option == OPT_SUPPRESS_GO_AHEAD) {
        // Answered once at the start and once more after DO ECHO was answered.
        if (negotiation_stage_ == 0 || negotiation_stage_ == 2) {
            ReplyLocked(DO, OPT_SUPPRESS_GO_AHEAD);
            ++negotiation_stage_;
        }
    } else if (verb == WILL && option == OPT_STATUS) {
        ReplyLocked(DONT, OPT_STATUS);
    } else if (verb == WONT && option == OPT_LINEMODE) {
        ReplyLocked(DONT, OPT_LINEMODE);
    } else if (verb == DO && option == OPT_ECHO) {
        if (negotiation_stage_ == 1) {
            ReplyLocked(WILL, OPT_ECHO);
            negotiation_stage_ = 2;
        }
    } else if (verb == DO && option == OPT_NAWS) {
        ReplyLocked(WONT, OPT_NAWS);
    } else if (verb == DO && option == OPT_REMOTE_FLOW_CONTROL) {
        ReplyLocked(WONT, OPT_REMOTE_FLOW_CONTROL);
    } else if (verb == DONT && option == OPT_ECHO) {
        ReplyLocked(WONT, OPT_ECHO);
    }
}

void TelnetLink::ReplyLocked(std::uint8_t verb, std::uint8_t option)
{
    // Like every send, the answer empties the receive buffer.
    if (!connected_)
        return;
    ClearForSendLocked();
    negotiation_replies_.insert(negotiation_replies_.end(), {IAC, verb, option});
}

bool TelnetLink::AppendLocked(std::uint8_t byte)
{
    if (receive_length_ >= receive_.size())
        return false;
    receive_[receive_length_++] = byte;
    words_.OnAppend(receive_.data(), receive_length_);
    return true;
}

void TelnetLink::OverflowLocked()
{
    // More than the buffer holds fails the exchange; nothing is written past its end.
    ++dropped_;
    if (waiting_ && !overflowed_) {
        overflowed_ = true;
        exchange_state_ = STATE_ERROR_WORD;
        reply_event_.Set();
    }
}

bool TelnetLink::UploadEndLocked()
{
    if (upload_echo_.empty())
        return words_.UploadEnd();
    const std::string_view text(reinterpret_cast<const char*>(receive_.data()), std::min(receive_length_, receive_.size()));
    if (upload_echo_at_ == std::string::npos) {
        upload_echo_at_ = text.find(upload_echo_);
        if (upload_echo_at_ == std::string::npos)
            return false;
    }
    const std::size_t data_end = upload_echo_at_ + upload_echo_.size() + upload_skip_ + upload_length_;
    const std::string_view word = telnet::kUploadEnd;
    // Letters in any case, and one byte after the word, as the unframed search has it.
    for (std::size_t at = data_end; at + word.size() < text.size(); ++at) {
        std::size_t i = 0;
        while (i < word.size() && std::toupper(static_cast<unsigned char>(text[at + i])) == word[i])
            ++i;
        if (i == word.size())
            return true;
    }
    return false;
}

void TelnetLink::SetUploadFraming(const std::string& command, std::size_t skip, std::size_t data_length)
{
    std::lock_guard lock(mutex_);
    upload_echo_ = command;
    upload_skip_ = skip;
    upload_length_ = data_length;
    upload_echo_at_ = std::string::npos;
}

void TelnetLink::ClearForSendLocked()
{
    receive_length_ = 0;
    upload_echo_at_ = std::string::npos;
    std::fill_n(receive_.begin(), std::min(kSendClearBytes, receive_.size()), std::uint8_t{0});
    words_.Reset();
    overflowed_ = false;
}

void TelnetLink::FinishExchangeLocked(int state)
{
    exchange_state_ = state;
    reply_event_.Set();
}

// ---------------------------------------------------------------- waiting side

int TelnetLink::SendBytes(const std::uint8_t* data, std::size_t length, int64_t timeout_ms)
{
    std::lock_guard lock(send_mutex_);
    if (!socket_.IsOpen())
        return -1;
    int error = 0;
    const long sent = socket_.SendAll(data, length, clock_.DeadlineIn(timeout_ms), error);
    return sent < 0 ? -1 : static_cast<int>(sent);
}

int TelnetLink::Send(const std::uint8_t* data, std::size_t length)
{
    {
        std::lock_guard lock(mutex_);
        if (!connected_)
            return 0;
        ClearForSendLocked();
    }
    return SendBytes(data, length, kSendTimeoutMs);
}

int TelnetLink::Exchange(const std::string& command, std::string& reply, int timeout_ms, int kind)
{
    {
        std::lock_guard lock(mutex_);
        // Kind and state first: the reader may take the reply before the send returns.
        expected_reply_ = kind;
        exchange_state_ = STATE_WAITING;
        if (!connected_)
            return EXCHANGE_NOT_SENT;
        waiting_ = true;
        ClearForSendLocked();
        reply_event_.Reset();
    }
    changed_.notify_all();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(command.data());
    if (SendBytes(bytes, command.size(), std::max<int64_t>(timeout_ms, kSendTimeoutMs)) <= 0) {
        {
            std::lock_guard lock(mutex_);
            waiting_ = false;
        }
        changed_.notify_all();
        return EXCHANGE_NOT_SENT;
    }
    (void)reply_event_.WaitMs(clock_, timeout_ms);
    int state = 0;
    {
        std::lock_guard lock(mutex_);
        if (exchange_state_ == STATE_WAITING)
            exchange_state_ = STATE_TIMED_OUT;
        state = exchange_state_;
        reply.assign(reinterpret_cast<const char*>(receive_.data()), std::min(receive_length_, receive_.size()));
        waiting_ = false;
    }
    changed_.notify_all();
    if (state == STATE_TIMED_OUT)
        return EXCHANGE_TIMEOUT;
    if (state == STATE_ERROR_WORD)
        return EXCHANGE_ERROR_WORD;
    return EXCHANGE_OK;
}

void TelnetLink::ClearReceiveBuffer()
{
    std::lock_guard lock(mutex_);
    std::fill(receive_.begin(), receive_.end(), std::uint8_t{0});
    receive_length_ = 0;
    upload_echo_at_ = std::string::npos;
    words_.Reset();
}

void TelnetLink::ResetReceiveLength()
{
    std::lock_guard lock(mutex_);
    receive_length_ = 0;
    upload_echo_at_ = std::string::npos;
    words_.Reset();
}

void TelnetLink::StartDetached(int kind)
{
    if (reader_.joinable() || socket_.IsOpen())
        Close();
    std::lock_guard lock(mutex_);
    receive_.resize(kReceiveBufferBytes);
    stop_ = false;
    connected_ = true;
    collector_count_ = 0;
    collector_active_ = false;
    login_state_ = LOGIN_PENDING;
    login_running_ = false;
    negotiation_stage_ = 0;
    negotiation_replies_.clear();
    dropped_ = 0;
    waiting_ = kind >= 0;
    expected_reply_ = kind >= 0 ? kind : 1;
    exchange_state_ = STATE_WAITING;
    ClearForSendLocked();
}

int TelnetLink::FeedDetached(const std::uint8_t* data, std::size_t length, std::vector<int>& notes,
                             std::vector<std::uint8_t>& answers)
{
    std::lock_guard lock(mutex_);
    std::size_t pos = 0;
    do {
        bool start_login = false;
        ReadPendingLocked(data, pos, length, notes, start_login);
        answers.insert(answers.end(), negotiation_replies_.begin(), negotiation_replies_.end());
        negotiation_replies_.clear();
        if (start_login) {
            notes.push_back(TELNET_PASSWORD_PROMPT);
            login_running_ = false;
            login_state_ = LOGIN_DONE;
        }
    } while (pos < length);
    return exchange_state_;
}

// ---------------------------------------------------------------- login state

int TelnetLink::LoginState() const
{
    std::lock_guard lock(mutex_);
    return login_state_;
}

void TelnetLink::ExpireLogin()
{
    {
        std::lock_guard lock(mutex_);
        if (login_state_ != LOGIN_PENDING || login_running_)
            return;
        login_state_ = LOGIN_WATCHDOG_EXPIRED;
    }
    changed_.notify_all();
}

bool TelnetLink::WaitLoginStart()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return login_running_ || login_state_ != LOGIN_PENDING || stop_; });
    return login_running_ && login_state_ == LOGIN_PENDING && !stop_;
}

void TelnetLink::EndLogin(int state)
{
    {
        std::lock_guard lock(mutex_);
        login_state_ = state;
        login_running_ = false;
    }
    changed_.notify_all();
}

int TelnetLink::WaitLoginOutcome()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return login_state_ != LOGIN_PENDING; });
    return login_state_;
}

// ---------------------------------------------------------------- diagnostics

bool TelnetLink::Connected() const
{
    std::lock_guard lock(mutex_);
    return connected_;
}

int TelnetLink::NegotiationStage() const
{
    std::lock_guard lock(mutex_);
    return negotiation_stage_;
}

std::size_t TelnetLink::ReceiveLength() const
{
    std::lock_guard lock(mutex_);
    return receive_length_;
}

std::size_t TelnetLink::DroppedBytes() const
{
    std::lock_guard lock(mutex_);
    return dropped_;
}

}  // namespace verup
