#pragma once
// Send a command, wait for its reply word, repeat with a "\r" nudge. One per update; it
// owns ReplyBuffer and AttemptCount, which the device steps read after each call.
#include <string>

#include "platform/Clock.h"
#include "protocol/ExchangeLink.h"
#include "protocol/ReplyKind.h"

namespace verup {

class CommandChannel {
public:
    explicit CommandChannel(const Clock& clock) : clock_(clock) {}

    // The links; either may be null while it does not exist.
    void SetSerialLink(ExchangeLink* link) { serial_ = link; }
    void SetLanLink(ExchangeLink* link) { lan_ = link; }

    int LinkKind = 0;      // 0 serial, anything else LAN
    int AttemptCount = 0;  // RETRY
    std::string ReplyBuffer;

    // Transport-neutral: 1 recognised, 0 otherwise. Translates `kind` for the telnet link.
    int Transact(const std::string& command, int timeout_ms, int kind, bool no_repeat = false);
    // 1 recognised, 0 timed out, -2 error word, -1 not written, 99 no try made.
    int SerialCommand(const std::string& command, int timeout_ms, int kind, bool no_repeat = false);
    int LanCommand(const std::string& command, int timeout_ms, int telnet_kind, bool no_repeat = false);

    // Transact's translation of a channel kind into the telnet numbering.
    static int ToTelnetKind(int kind);
    // ... and into the serial numbering.
    static int ToSerialKind(int kind);

private:
    int Command(ExchangeLink* link, const std::string& command, int timeout_ms, int kind, bool no_repeat);

    const Clock& clock_;
    ExchangeLink* serial_ = nullptr;
    ExchangeLink* lan_ = nullptr;
};

}  // namespace verup
