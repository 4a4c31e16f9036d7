#include "protocol/CommandChannel.h"

namespace verup {
namespace {

// The nudge sent after a try that got no reply word.
constexpr const char* NUDGE = "\r";
// Time the device gets to finish what a try started when only its nudge was answered.
constexpr int64_t NUDGE_SUCCESS_PAUSE_MS = 3000;
constexpr int NO_TRY_MADE = 99;

}  // namespace

int CommandChannel::ToTelnetKind(int kind)
{
    switch (kind) {
    case RK_OK:
    case RK_SHELL_PROMPT:
        return TRK_SHELL_PROMPT;
    case RK_WRITE_OK_LINE:
        return TRK_WRITE_OK;
    case RK_UPLOAD_BULK:
    case RK_UPLOAD_DATA:
        return TRK_UPLOAD_BULK;
    case RK_DL_PROMPT:
        return TRK_DL_PROMPT;
    case RK_ERASE_OK_LINE:
        return TRK_ERASE_OK;
    case RK_DOWNLOAD_DATA:
        return TRK_DL_RESULT;
    default:
        return kind;
    }
}

int CommandChannel::ToSerialKind(int kind)
{
    switch (kind) {
    case RK_UPLOAD_DATA:
        return RK_UPLOAD_BULK;
    case RK_DOWNLOAD_DATA:
        return RK_DL_RESULT;
    default:
        return kind;
    }
}

int CommandChannel::Transact(const std::string& command, int timeout_ms, int kind, bool no_repeat)
{
    const int remembered = AttemptCount;
    if (kind == RK_UPLOAD_DATA || kind == RK_DOWNLOAD_DATA) {
        // Data blocks are never sent twice.
        link_.ClearReceiveBuffer();
        AttemptCount = 1;
    }
    const int link_kind = numbering_ == Numbering::Serial ? ToSerialKind(kind) : ToTelnetKind(kind);
    const int result = Command(command, timeout_ms, link_kind, no_repeat);
    AttemptCount = remembered;
    return result == EXCHANGE_OK ? 1 : 0;
}

int CommandChannel::SerialCommand(const std::string& command, int timeout_ms, int kind, bool no_repeat)
{
    return Command(command, timeout_ms, kind, no_repeat);
}

int CommandChannel::LanCommand(const std::string& command, int timeout_ms, int telnet_kind, bool no_repeat)
{
    return Command(command, timeout_ms, telnet_kind, no_repeat);
}

int CommandChannel::Command(const std::string& command, int timeout_ms, int kind, bool no_repeat)
{
    int result = NO_TRY_MADE;
    ReplyBuffer.clear();
    std::string reply;
    for (int attempt = 0; attempt < AttemptCount; ++attempt) {
        reply.clear();
        result = link_.Exchange(command, reply, timeout_ms, kind);
        ReplyBuffer = reply;
        if (no_repeat || result == EXCHANGE_OK)
            break;
        reply.clear();
        result = link_.Exchange(NUDGE, reply, timeout_ms, kind);
        ReplyBuffer += reply;
        if (result == EXCHANGE_OK) {
            clock_.SleepMs(NUDGE_SUCCESS_PAUSE_MS);
            break;
        }
        // The failed try's text is dropped.
        ReplyBuffer.clear();
    }
    return result;
}

}  // namespace verup
