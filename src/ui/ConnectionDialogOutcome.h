#pragma once
// What "接続" ended in: the dialog closes with IDOK, or it shows a stop message and stays open.
#include <string>

namespace verup {

struct ConnectOutcome {
    bool Closed = true;
    std::string MessageText;     // CP932; empty when Closed
    std::string MessageCaption;  // CP932
};

}  // namespace verup
