#include "platform/IcmpEcho.h"

namespace verup {

const char* IcmpMethodName(IcmpMethod method)
{
    switch (method) {
    case IcmpMethod::DatagramSocket:
        return "ICMP datagram socket";
    case IcmpMethod::RawSocket:
        return "raw ICMP socket";
    case IcmpMethod::PingCommand:
        return "ping command";
    case IcmpMethod::EchoApi:
        return "IcmpSendEcho";
    default:
        return "none";
    }
}

}  // namespace verup
