#pragma once
// The LAN transport: one telnet connection to the device. A reader thread stands in for the
// socket notifications: it reports the connection, answers the option negotiation, feeds the
// recognizer and, when the password prompt arrives, holds further bytes for the login that the
// connecting thread then runs.
// Exchange sends a command and waits for the reply word of a TelnetReplyKind.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lan/ReplyWordWatch.h"
#include "platform/Clock.h"
#include "platform/Event.h"
#include "platform/TcpSocket.h"
#include "protocol/ExchangeLink.h"

namespace verup {

// What the link tells its owner (the dialog's socket notification handler).
inline constexpr int TELNET_CONNECTED = 1;          // connection established
inline constexpr int TELNET_NEGOTIATED = 2;         // a negotiation command was answered
inline constexpr int TELNET_PASSWORD_PROMPT = 3;    // "Password: " seen: the login may run
inline constexpr int TELNET_READ = 4;               // any other byte taken

// LoginState values.
inline constexpr int LOGIN_PENDING = 0;
inline constexpr int LOGIN_DONE = 1;
inline constexpr int LOGIN_WATCHDOG_EXPIRED = 9;
inline constexpr int LOGIN_WRONG_PRODUCT = 55;
inline constexpr int LOGIN_REFUSED = 99;

class TelnetLink : public ExchangeLink {
public:
    // 65,536 bytes of an uploaded area, its FCS and the text around it.
    static constexpr std::size_t kReceiveBufferBytes = 65791;
    static constexpr std::uint16_t kTelnetPort = 23;
    // Byte mode stops zeroing here after a send (the recognizer reads only what arrived).
    static constexpr std::size_t kSendClearBytes = 2048;
    // Bulk reads take this much per receive.
    static constexpr std::size_t kReadChunkBytes = 4096;
    static constexpr int64_t kCloseSettleMs = 10;  ///< ms after closing the socket
    static constexpr int64_t kSendTimeoutMs = 10000;  ///< ms to hand a block to the socket outside an exchange

    // The port is 23 unless the front end names another (simulator, tests).
    explicit TelnetLink(const Clock& clock, std::uint16_t port = kTelnetPort);
    ~TelnetLink() override;
    TelnetLink(const TelnetLink&) = delete;
    TelnetLink& operator=(const TelnetLink&) = delete;

    // A port as the user wrote it (the front ends' VERUP_TELNET_PORT): 23 when absent or not
    // a port number.
    static std::uint16_t PortFromText(const char* text);
    std::uint16_t Port() const { return port_; }

    // Called with TELNET_CONNECTED and TELNET_NEGOTIATED on the reader thread. Set before Open.
    using Notify = std::function<void(int)>;
    void SetNotify(Notify notify);

    // 1 when the connection attempt has started, 0 on failure (nothing left open).
    int Open(const std::string& address);
    // Bytes handed to the socket (all of them: a partial send is completed); 0 while not
    // connected; -1 when the socket refused. Empties the receive buffer first.
    int Send(const std::uint8_t* data, std::size_t length);
    // 1 reply recognised; 0 timed out; -2 error word seen (or the reply overflowed the
    // receive buffer); -1 not sent. `reply` receives the bytes received since the send.
    int Exchange(const std::string& command, std::string& reply, int timeout_ms, int kind) override;
    void ClearReceiveBuffer() override;
    // Bulk reads (TRK_UPLOAD_BULK) end at "UL.OK" only once it follows `data_length` bytes
    // that begin `skip` bytes after the echo of `command`: an area holding those letters does
    // not end the read early. An empty `command` goes back to the first "UL.OK".
    void SetUploadFraming(const std::string& command, std::size_t skip, std::size_t data_length);
    // Always 1; harmless without a connection. Ends a running exchange, lets a running login
    // finish, stops the reader, then resets the connection.
    int Close();

    // The per-byte handler: negotiation collector, then the recognizer. Results 0 no receive
    // buffer, 1 negotiation byte or login finished, 2 negotiation answered, 3 password prompt,
    // 4 byte taken.
    int OnByte(std::uint8_t byte);

    // ---- Login state (one connection's) ----
    int LoginState() const;
    // The connect watchdog: no outcome in time. A login already running decides the outcome
    // itself, so the watchdog never overwrites it.
    void ExpireLogin();
    // Blocks until the password prompt has arrived (true: the caller runs the login now, and
    // ends it with EndLogin), or the login has an outcome without one, or the link is closed.
    bool WaitLoginStart();
    void EndLogin(int state);
    // Blocks until the login state is not LOGIN_PENDING; returns it.
    int WaitLoginOutcome();
    // The login's "receive length = 0".
    void ResetReceiveLength();

    // ---- For tests and diagnostics ----
    bool Connected() const;
    int NegotiationStage() const;
    std::size_t ReceiveLength() const;
    // Bytes that did not fit into the receive buffer since Open.
    std::size_t DroppedBytes() const;
    // The reader's handling of received segments without a socket (fuzzing, tests): the link
    // takes its buffer, answers negotiation as if connected and, when `kind` >= 0, waits for a
    // reply of that kind as Exchange does after its send (else it watches, as before a login).
    void StartDetached(int kind);
    // One segment as the reader handles it (a password prompt counts as a login that ends at
    // once). Appends the notes and the negotiation answers; returns the exchange state.
    int FeedDetached(const std::uint8_t* data, std::size_t length, std::vector<int>& notes,
                     std::vector<std::uint8_t>& answers);

private:
    enum class Mode { Byte, Bulk };

    void ReaderLoop();
    // Feeds pending[pos .. len) to the recognizer while allowed; collects what to tell the owner.
    void ReadPendingLocked(const std::uint8_t* data, std::size_t& pos, std::size_t len, std::vector<int>& notes,
                           bool& start_login);
    int OnByteLocked(std::uint8_t byte);
    void NegotiateLocked();
    void ReplyLocked(std::uint8_t verb, std::uint8_t option);
    // Appends one byte; false when the buffer is full (the byte is dropped).
    bool AppendLocked(std::uint8_t byte);
    void OverflowLocked();
    // The bulk read's end: "UL.OK" and one byte after it, past the framed data when set.
    bool UploadEndLocked();
    void ClearForSendLocked();
    void FinishExchangeLocked(int state);
    // The login has the word between its exchanges: bytes wait in the socket until its next
    // exchange takes them.
    bool ReaderHeldLocked() const { return login_running_ && !waiting_; }
    int SendBytes(const std::uint8_t* data, std::size_t length, int64_t timeout_ms);

    const Clock& clock_;
    const std::uint16_t port_;
    Notify notify_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::mutex send_mutex_;  // one block at a time on the wire
    TcpSocket socket_;
    std::thread reader_;
    bool stop_ = false;

    ManualResetEvent reply_event_;
    std::vector<std::uint8_t> receive_;  // empty while no buffer exists
    std::size_t receive_length_ = 0;
    ReplyWordWatch words_;
    std::size_t dropped_ = 0;
    std::string upload_echo_;  // framing of bulk reads; empty: none
    std::size_t upload_skip_ = 0;
    std::size_t upload_length_ = 0;
    std::size_t upload_echo_at_ = std::string::npos;  // where the echo lies in the buffer
    bool overflowed_ = false;  // this exchange's reply did not fit
    bool connected_ = false;
    bool waiting_ = false;
    int expected_reply_ = 1;  // ExpectedReply
    int exchange_state_ = 0;  // ExchangeState
    std::uint8_t collector_[3] = {0, 0, 0};
    int collector_count_ = 0;
    bool collector_active_ = false;
    int negotiation_stage_ = 0;
    int login_state_ = LOGIN_PENDING;
    bool login_running_ = false;
    std::vector<std::uint8_t> negotiation_replies_;  // sent by the reader once unlocked
};

}  // namespace verup
