#pragma once
// Placeholder until the serial transport lands.
#include "protocol/ExchangeLink.h"

namespace verup {

class SerialLink : public ExchangeLink {
public:
    int Exchange(const std::string&, std::string&, int, int) override { return -1; }
    void ClearReceiveBuffer() override {}
};

}  // namespace verup
