#pragma once
// The transport to the device over a serial port: a reader thread feeds every received byte
// to the ResponseMatcher; Exchange writes a command and waits for the reply word, an error
// word or the time-out.
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/Clock.h"
#include "platform/SerialPort.h"
#include "protocol/ExchangeLink.h"
#include "serial/ExchangeWords.h"
#include "serial/ReceiveBuffer.h"
#include "serial/ResponseMatcher.h"

namespace verup {

// Results of SerialLink::Open.
inline constexpr int SERIAL_OPENED = 1;
inline constexpr int SERIAL_OPEN_FAILED = -1;
inline constexpr int SERIAL_SETTINGS_REFUSED = -2;
inline constexpr int SERIAL_THREAD_FAILED = -3;
inline constexpr int SERIAL_READER_NOT_RUNNING = 5000;

class SerialLink final : public ExchangeLink {
public:
    // Time the reader has to report running after Open.
    static constexpr int64_t READER_START_MS = 5000;
    // Settling time after a successful reopen.
    static constexpr int64_t REOPEN_SETTLE_MS = 1000;
    // Write time-out: a constant plus a time per byte.
    static constexpr int64_t WRITE_TIMEOUT_BASE_MS = 1000;
    static constexpr int64_t WRITE_TIMEOUT_PER_BYTE_MS = 10;

    // A link on this system's serial port.
    explicit SerialLink(const Clock& clock);
    SerialLink(const Clock& clock, std::unique_ptr<SerialPort> port);
    ~SerialLink() override;
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // 1 open with the reader running; -1 port not opened; -2 line settings refused; -3 reader
    // not started; 5000 reader not running in time. A failed Open leaves the link closed.
    int Open(const std::string& name);
    // 1 closed (or was not open).
    int Close();
    // Close, pause, Open; after a successful open a further settling wait. 1 or 0.
    int Reopen(const std::string& name, int64_t pause_ms);
    bool IsOpen() const;
    // Why the last Open failed, for the debug log; empty after a success.
    const std::string& OpenFailureReason() const { return open_failure_; }

    // Resets the receive buffer, then writes. The count written, or -1.
    int Write(std::string_view data);

    // 1 recognised, 0 timed out, -2 error word (or a reply larger than the buffer),
    // -1 not written (reply untouched).
    int Exchange(const std::string& command, std::string& reply, int timeout_ms, int kind) override;
    void ClearReceiveBuffer() override;

    // The recognizer on or off (off while raw lines are streamed).
    void SetMatchingEnabled(bool on) { words_.MatchingEnabled.store(on); }
    bool MatchingEnabled() const { return words_.MatchingEnabled.load(); }
    int ExchangeState() const { return words_.ExchangeState.load(); }
    int ExpectedReply() const { return words_.ExpectedReply.load(); }

    // ---- The receive buffer, for the raw downloads ----
    // "ERROR!" arrived since the last write (or the last ZeroReceivedHead).
    bool ErrorWordReceived() const;
    // Zeroes the head of the buffer: its text is then empty to every search.
    void ZeroReceivedHead();
    // What arrived since the last write.
    std::string Received() const;
    enum class WaitResult { Found, Stopped, ErrorWord };
    // Waits, without polling, until `word` is in the received text, or `stop` returns true,
    // or (with `stop_on_error_word`) "ERROR!" arrives. `stop` must not call into the link;
    // it is tested again whenever bytes arrive or Wake is called.
    WaitResult WaitForReceived(std::string_view word, const std::function<bool()>& stop,
                               bool stop_on_error_word = false);
    // Wakes WaitForReceived (after the condition `stop` tests has changed).
    void Wake();

private:
    void ReaderThread();
    void StopReader();

    const Clock& clock_;
    std::unique_ptr<SerialPort> port_;
    mutable std::mutex mutex_;        // buffer, matcher, reader state
    std::condition_variable changed_;  // bytes arrived, reader state changed, Wake
    ReceiveBuffer buffer_;
    ExchangeWords words_;
    ResponseMatcher matcher_{buffer_, words_};
    std::thread reader_;
    int reader_state_ = 0;  // 0 stop requested, 1 starting, 9 running, 99 finished
    bool open_ = false;
    std::string open_failure_;
};

}  // namespace verup
