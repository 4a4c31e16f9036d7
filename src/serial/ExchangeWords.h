#pragma once
// The words through which a link's reader, its recognizer and the waiting side of an exchange
// meet. One set per link; the reader writes ExchangeState before it sets ReplyEvent, the
// waiter reads the state only after the event.
#include <atomic>

#include "platform/Event.h"
#include "protocol/ReplyKind.h"

namespace verup {

struct ExchangeWords {
    std::atomic<int> ExpectedReply{RK_OK};
    std::atomic<int> ExchangeState{STATE_RECOGNISED};
    // Off during the raw line downloads: bytes are only collected.
    std::atomic<bool> MatchingEnabled{true};
    ManualResetEvent ReplyEvent;
};

}  // namespace verup
