#include "platform/IcmpEcho.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include <chrono>
#include <cstring>
#include <vector>

namespace verup {
namespace {

// Winsock for the name lookup, for as long as one echo takes.
class WinsockSession {
public:
    WinsockSession()
    {
        WSADATA data;
        started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockSession()
    {
        if (started_)
            ::WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    bool Started() const { return started_; }

private:
    bool started_ = false;
};

}  // namespace

int IcmpPing(const std::string& host, const Clock& clock, IcmpMethod* method)
{
    if (method != nullptr)
        *method = IcmpMethod::None;
    // Windows resolves an empty name to this machine; no name is no host.
    if (host.empty())
        return ICMP_RESOLVE_FAILED;
    WinsockSession winsock;
    if (!winsock.Started())
        return ICMP_NO_METHOD;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return ICMP_RESOLVE_FAILED;
    sockaddr_in target{};
    std::memcpy(&target, found->ai_addr, sizeof target);
    ::freeaddrinfo(found);

    const HANDLE icmp = ::IcmpCreateFile();
    if (icmp == INVALID_HANDLE_VALUE)
        return ICMP_NO_METHOD;
    if (method != nullptr)
        *method = IcmpMethod::EchoApi;
    std::vector<unsigned char> request(ICMP_ECHO_DATA_BYTES, ICMP_ECHO_FILL);
    // Room for one reply, its data and an ICMP error's header, as the function asks.
    std::vector<unsigned char> reply(sizeof(ICMP_ECHO_REPLY) + ICMP_ECHO_DATA_BYTES + 8 + 64);
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(clock.ToReal(ICMP_ECHO_TIMEOUT_MS)).count();
    const DWORD replies =
        ::IcmpSendEcho(icmp, target.sin_addr.s_addr, request.data(), static_cast<WORD>(request.size()), nullptr,
                       reply.data(), static_cast<DWORD>(reply.size()), static_cast<DWORD>(wait < 1 ? 1 : wait));
    ::IcmpCloseHandle(icmp);
    if (replies == 0)
        return ICMP_NO_ANSWER;
    const auto* answer = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply.data());
    return answer->Status == IP_SUCCESS ? ICMP_ANSWERED : ICMP_NO_ANSWER;
}

}  // namespace verup
