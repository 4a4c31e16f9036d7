#pragma once
// A serial port for tests: fed bytes are read by the link's reader, writes are recorded, and
// it can be told to refuse opening, fail writes or stall them. The state is shared, so the
// test keeps a handle after handing the port to a SerialLink.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/SerialPort.h"

namespace verup::test {

struct FakePortState {
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<uint8_t> incoming;
    std::vector<std::string> writes;
    std::vector<std::string> opened_names;
    bool open = false;
    bool interrupted = false;
    PortOpenStatus open_status = PortOpenStatus::Opened;
    bool fail_writes = false;
    bool stall_writes = false;  // writes block until their deadline, then fail
    std::size_t read_chunk = 4096;  // at most this many bytes per Read
    bool dtr = false;
    bool rts = false;
    // Called after each write is recorded (outside the lock); may Feed an answer.
    std::function<void(const std::string& written)> on_write;

    void Feed(const std::string& bytes)
    {
        {
            std::lock_guard lock(mutex);
            incoming.insert(incoming.end(), bytes.begin(), bytes.end());
        }
        cv.notify_all();
    }
    std::vector<std::string> Writes()
    {
        std::lock_guard lock(mutex);
        return writes;
    }
    void SetResponder(std::function<void(const std::string&)> responder)
    {
        std::lock_guard lock(mutex);
        on_write = std::move(responder);
    }
};

class FakeSerialPort final : public SerialPort {
public:
    explicit FakeSerialPort(std::shared_ptr<FakePortState> state) : state_(std::move(state)) {}

    PortOpenResult Open(const std::string& name) override
    {
        std::lock_guard lock(state_->mutex);
        state_->opened_names.push_back(name);
        if (state_->open_status != PortOpenStatus::Opened)
            return PortOpenResult{state_->open_status, "refused by the test"};
        state_->open = true;
        state_->interrupted = false;
        return PortOpenResult{PortOpenStatus::Opened, {}};
    }
    void Close() override
    {
        std::lock_guard lock(state_->mutex);
        state_->open = false;
    }
    bool IsOpen() const override
    {
        std::lock_guard lock(state_->mutex);
        return state_->open;
    }
    int Write(const uint8_t* data, std::size_t length, TimePoint deadline) override
    {
        std::function<void(const std::string&)> responder;
        const std::string written(reinterpret_cast<const char*>(data), length);
        {
            std::unique_lock lock(state_->mutex);
            if (!state_->open || state_->fail_writes)
                return -1;
            if (state_->stall_writes) {
                state_->cv.wait_until(lock, deadline, [this] { return !state_->stall_writes; });
                if (state_->stall_writes)
                    return -1;
            }
            state_->writes.push_back(written);
            responder = state_->on_write;
        }
        if (responder)
            responder(written);
        return static_cast<int>(length);
    }
    int Read(uint8_t* buffer, std::size_t capacity, TimePoint deadline) override
    {
        std::unique_lock lock(state_->mutex);
        state_->cv.wait_until(lock, deadline, [this] { return !state_->incoming.empty() || state_->interrupted; });
        if (state_->interrupted) {
            state_->interrupted = false;
            return 0;
        }
        std::size_t n = 0;
        while (n < capacity && n < state_->read_chunk && !state_->incoming.empty()) {
            buffer[n++] = state_->incoming.front();
            state_->incoming.pop_front();
        }
        return static_cast<int>(n);
    }
    void Interrupt() override
    {
        {
            std::lock_guard lock(state_->mutex);
            state_->interrupted = true;
        }
        state_->cv.notify_all();
    }
    void SetLines(bool dtr, bool rts) override
    {
        std::lock_guard lock(state_->mutex);
        state_->dtr = dtr;
        state_->rts = rts;
    }

private:
    std::shared_ptr<FakePortState> state_;
};

}  // namespace verup::test
