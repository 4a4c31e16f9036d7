#pragma once
// A serial port for tests: fed bytes are read by the link's reader, each write goes to the
// test's responder, and writes can be made to fail. The test keeps a pointer to it after
// handing it to the SerialLink that owns it.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "platform/SerialPort.h"

namespace verup::test {

class FakeSerialPort final : public SerialPort {
public:
    std::atomic<bool> fail_writes{false};

    // Called after each write, outside the lock; may Feed an answer.
    void SetResponder(std::function<void(const std::string& written)> responder)
    {
        std::lock_guard lock(mutex_);
        on_write_ = std::move(responder);
    }
    void Feed(const std::string& bytes)
    {
        {
            std::lock_guard lock(mutex_);
            incoming_.insert(incoming_.end(), bytes.begin(), bytes.end());
        }
        cv_.notify_all();
    }

    PortOpenResult Open(const std::string&) override
    {
        std::lock_guard lock(mutex_);
        open_ = true;
        interrupted_ = false;
        return PortOpenResult{PortOpenStatus::Opened, {}};
    }
    void Close() override
    {
        std::lock_guard lock(mutex_);
        open_ = false;
    }
    bool IsOpen() const override
    {
        std::lock_guard lock(mutex_);
        return open_;
    }
    int Write(const uint8_t* data, std::size_t length, TimePoint) override
    {
        std::function<void(const std::string&)> responder;
        {
            std::lock_guard lock(mutex_);
            if (!open_ || fail_writes)
                return -1;
            responder = on_write_;
        }
        if (responder)
            responder(std::string(reinterpret_cast<const char*>(data), length));
        return static_cast<int>(length);
    }
    int Read(uint8_t* buffer, std::size_t capacity, TimePoint deadline) override
    {
        std::unique_lock lock(mutex_);
        cv_.wait_until(lock, deadline, [this] { return !incoming_.empty() || interrupted_; });
        if (interrupted_) {
            interrupted_ = false;
            return 0;
        }
        std::size_t n = 0;
        for (; n < capacity && !incoming_.empty(); incoming_.pop_front())
            buffer[n++] = incoming_.front();
        return static_cast<int>(n);
    }
    void Interrupt() override
    {
        {
            std::lock_guard lock(mutex_);
            interrupted_ = true;
        }
        cv_.notify_all();
    }
    void SetLines(bool, bool) override {}

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<uint8_t> incoming_;
    bool open_ = false;
    bool interrupted_ = false;
    std::function<void(const std::string&)> on_write_;
};

}  // namespace verup::test
