#pragma once
// `verup ports`: the serial ports this machine has, and what the COM names stand for.
#include <ostream>
#include <vector>

#include "platform/SerialPortList.h"

namespace verup::cli {

struct PortsOptions {
    bool Json = false;
};

// Writes the list (text, or one JSON document) to `out`. Always 0: an empty list is an answer.
int RunPortsCommand(const PortsOptions& options, const std::vector<SerialPortInfo>& ports, std::ostream& out);

}  // namespace verup::cli
