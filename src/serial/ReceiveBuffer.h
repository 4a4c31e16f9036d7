#pragma once
// The serial link's receive buffer: the bytes received since the last write, always followed
// by a zero byte, never filled past its capacity.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace verup {

inline constexpr std::size_t RECEIVE_BUFFER_BYTES = 65791;
// What a write clears of the buffer's head, and what "ERROR!" during streaming clears.
inline constexpr std::size_t RECEIVE_HEAD_BYTES = 2048;

class ReceiveBuffer {
public:
    ReceiveBuffer() : data_(RECEIVE_BUFFER_BYTES, 0) {}

    // At most this many bytes are held; the byte after them stays zero.
    static constexpr std::size_t Capacity() { return RECEIVE_BUFFER_BYTES - 1; }

    // false (and nothing stored) when the buffer is full.
    bool Append(uint8_t byte)
    {
        if (count_ >= Capacity())
            return false;
        data_[count_++] = static_cast<char>(byte);
        data_[count_] = 0;
        return true;
    }
    // Bytes stored of `length`; the rest did not fit.
    std::size_t Append(const uint8_t* bytes, std::size_t length)
    {
        std::size_t n = 0;
        while (n < length && Append(bytes[n]))
            ++n;
        return n;
    }
    // Before a write: the buffer then holds only what arrives afterwards.
    void ResetForWrite()
    {
        count_ = 0;
        ZeroHead();
    }
    void ZeroHead() { std::fill(data_.begin(), data_.begin() + RECEIVE_HEAD_BYTES, 0); }
    void ZeroAll()
    {
        std::fill(data_.begin(), data_.end(), 0);
        count_ = 0;
    }

    std::size_t Count() const { return count_; }
    // The received bytes (may contain zeros; the text helpers stop at the first one).
    std::string_view Bytes() const { return {data_.data(), count_}; }
    char At(std::size_t i) const { return data_[i]; }

private:
    std::vector<char> data_;
    std::size_t count_ = 0;
};

}  // namespace verup
