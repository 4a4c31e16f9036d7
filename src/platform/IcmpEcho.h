#pragma once
// One ICMP echo to a host, the reachability check before a telnet connection. Linux offers
// three ways, tried in this order: an ICMP datagram socket (allowed to the groups in
// net.ipv4.ping_group_range), a raw socket (root or CAP_NET_RAW), the system's ping command.
// Windows has one, open to every user: IcmpSendEcho.
#include <string>

#include "platform/Clock.h"

namespace verup {

inline constexpr int ICMP_ANSWERED = 0;
inline constexpr int ICMP_NO_ANSWER = -1;
inline constexpr int ICMP_RESOLVE_FAILED = 2;  // the host name or address could not be resolved
inline constexpr int ICMP_NO_METHOD = 5;       // no echo socket could be made and no ping command ran

inline constexpr int ICMP_ECHO_DATA_BYTES = 64;
inline constexpr unsigned char ICMP_ECHO_FILL = 0xAA;
inline constexpr int ICMP_ECHO_TIMEOUT_MS = 5000;  ///< ms to wait for the answer

enum class IcmpMethod { None, DatagramSocket, RawSocket, PingCommand, EchoApi };
const char* IcmpMethodName(IcmpMethod method);

// ICMP_ANSWERED, ICMP_NO_ANSWER, ICMP_RESOLVE_FAILED or ICMP_NO_METHOD. `method` tells which
// way was used (for the debug log).
int IcmpPing(const std::string& host, const Clock& clock, IcmpMethod* method = nullptr);

}  // namespace verup
