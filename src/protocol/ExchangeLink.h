#pragma once
// What the command channel needs of a transport: send a command and wait for a reply word.
#include <cstddef>
#include <string>

namespace verup {

class ExchangeLink {
public:
    virtual ~ExchangeLink() = default;
    // Writes `command` and waits up to `timeout_ms` for the reply word of `kind` (in the
    // link's own numbering). `reply` receives every byte received since the write, also on a
    // time-out. Returns 1 recognised, 0 timed out, -2 error word, -1 not sent (reply untouched).
    virtual int Exchange(const std::string& command, std::string& reply, int timeout_ms, int kind) = 0;
    // Zeroes the whole receive buffer (before a bulk transfer).
    virtual void ClearReceiveBuffer() = 0;
};

}  // namespace verup
