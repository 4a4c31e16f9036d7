#pragma once
// Send a command, wait for its reply word, repeat with a "\r" nudge. Each road owns one over
// its link; it owns ReplyBuffer and AttemptCount, which the device steps read after each call.
#include <string>

#include "platform/Clock.h"
#include "protocol/ExchangeLink.h"
#include "protocol/ReplyKind.h"

namespace verup {

class CommandChannel {
public:
    // How the link numbers its reply words: the serial recognizer's kinds or the telnet ones.
    enum class Numbering { Serial, Telnet };

    CommandChannel(const Clock& clock, ExchangeLink& link, Numbering numbering)
        : clock_(clock), link_(link), numbering_(numbering)
    {
    }

    int AttemptCount = 0;  // RETRY
    std::string ReplyBuffer;

    // Transport-neutral: 1 recognised, 0 otherwise. Translates `kind` for the link's numbering.
    int Transact(const std::string& command, int timeout_ms, int kind, bool no_repeat = false);
    // The link's own numbering (serial kinds on the serial road, telnet kinds on the LAN):
    // 1 recognised, 0 timed out, -2 error word, -1 not written, 99 no try made.
    int SerialCommand(const std::string& command, int timeout_ms, int kind, bool no_repeat = false);
    int LanCommand(const std::string& command, int timeout_ms, int telnet_kind, bool no_repeat = false);

    ExchangeLink& Link() { return link_; }

    // Transact's translation of a channel kind into the telnet numbering.
    static int ToTelnetKind(int kind);
    // ... and into the serial numbering.
    static int ToSerialKind(int kind);

private:
    int Command(const std::string& command, int timeout_ms, int kind, bool no_repeat);

    const Clock& clock_;
    ExchangeLink& link_;
    const Numbering numbering_;
};

}  // namespace verup
