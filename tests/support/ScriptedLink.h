#pragma once
// A fake transport for the command channel: every command is recorded, and a script decides
// what the "device" answers. Queued replies are used first, in order; then the responder;
// with neither, the exchange times out with nothing received.
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/ExchangeLink.h"
#include "protocol/ReplyKind.h"

namespace verup::test {

struct ScriptedReply {
    int result = EXCHANGE_TIMEOUT;  // what Exchange returns (1 recognised, 0 timed out, ...)
    std::string text;               // the bytes "received" for this exchange
};

inline ScriptedReply Answer(std::string text) { return ScriptedReply{EXCHANGE_OK, std::move(text)}; }
inline ScriptedReply Silence(std::string text = {}) { return ScriptedReply{EXCHANGE_TIMEOUT, std::move(text)}; }

struct SentCommand {
    std::string command;
    int timeout_ms = 0;
    int kind = 0;
};

class ScriptedLink : public ExchangeLink {
public:
    using Responder = std::function<ScriptedReply(const std::string& command, int kind)>;

    explicit ScriptedLink(Responder responder = {}) : responder_(std::move(responder)) {}

    void SetResponder(Responder responder)
    {
        std::lock_guard lock(mutex_);
        responder_ = std::move(responder);
    }
    void Queue(ScriptedReply reply)
    {
        std::lock_guard lock(mutex_);
        queued_.push_back(std::move(reply));
    }

    int Exchange(const std::string& command, std::string& reply, int timeout_ms, int kind) override
    {
        ScriptedReply answer;
        Responder responder;
        {
            std::lock_guard lock(mutex_);
            sent_.push_back(SentCommand{command, timeout_ms, kind});
            if (!queued_.empty()) {
                answer = std::move(queued_.front());
                queued_.pop_front();
            } else {
                responder = responder_;
            }
        }
        if (responder)
            answer = responder(command, kind);
        if (answer.result != EXCHANGE_NOT_SENT)
            reply = answer.text;
        return answer.result;
    }

    // Forgets what was sent (a test's next case starts from nothing).
    void Clear()
    {
        std::lock_guard lock(mutex_);
        sent_.clear();
        queued_.clear();
    }

    void ClearReceiveBuffer() override
    {
        std::lock_guard lock(mutex_);
        ++clears_;
    }

    std::vector<SentCommand> Sent() const
    {
        std::lock_guard lock(mutex_);
        return sent_;
    }
    std::vector<std::string> Commands() const
    {
        std::lock_guard lock(mutex_);
        std::vector<std::string> commands;
        for (const auto& s : sent_)
            commands.push_back(s.command);
        return commands;
    }
    int Clears() const
    {
        std::lock_guard lock(mutex_);
        return clears_;
    }

private:
    mutable std::mutex mutex_;
    Responder responder_;
    std::deque<ScriptedReply> queued_;
    std::vector<SentCommand> sent_;
    int clears_ = 0;
};

}  // namespace verup::test
