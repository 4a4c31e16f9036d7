#include "platform/IcmpEcho.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

extern char** environ;

namespace verup {
namespace {

constexpr std::size_t kIcmpHeaderBytes = 8;

std::uint16_t Checksum(const std::uint8_t* data, std::size_t length)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2)
        sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    if (length % 2 != 0)
        sum += static_cast<std::uint32_t>(data[length - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

std::uint16_t NextSequence()
{
    static std::atomic<std::uint16_t> sequence{static_cast<std::uint16_t>(std::random_device{}())};
    return sequence.fetch_add(1);
}

std::vector<std::uint8_t> EchoRequest(std::uint16_t id, std::uint16_t sequence)
{
    std::vector<std::uint8_t> packet(kIcmpHeaderBytes + ICMP_ECHO_DATA_BYTES, ICMP_ECHO_FILL);
    packet[0] = ICMP_ECHO;
    packet[1] = 0;
    packet[2] = packet[3] = 0;
    packet[4] = static_cast<std::uint8_t>(id >> 8);
    packet[5] = static_cast<std::uint8_t>(id);
    packet[6] = static_cast<std::uint8_t>(sequence >> 8);
    packet[7] = static_cast<std::uint8_t>(sequence);
    const std::uint16_t sum = Checksum(packet.data(), packet.size());
    packet[2] = static_cast<std::uint8_t>(sum >> 8);
    packet[3] = static_cast<std::uint8_t>(sum);
    return packet;
}

class FdCloser {
public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

private:
    int fd_;
};

// Sends one request on `fd` and waits for its answer. `raw`: replies carry the IP header and
// the identifier is ours to check; a datagram socket strips the header and filters by id.
int EchoOnSocket(int fd, bool raw, const sockaddr_in& target, const Clock& clock)
{
    const std::uint16_t id = static_cast<std::uint16_t>(::getpid() ^ NextSequence());
    const std::uint16_t sequence = NextSequence();
    const std::vector<std::uint8_t> request = EchoRequest(id, sequence);
    if (::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&target), sizeof target) < 0)
        return ICMP_NO_ANSWER;
    const auto deadline = clock.DeadlineIn(ICMP_ECHO_TIMEOUT_MS);
    std::uint8_t reply[1500];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return ICMP_NO_ANSWER;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left) + 1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        sockaddr_in from{};
        socklen_t from_size = sizeof from;
        const ssize_t n = ::recvfrom(fd, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), &from_size);
        if (n <= 0 || from.sin_addr.s_addr != target.sin_addr.s_addr)
            continue;
        std::size_t offset = 0;
        if (raw) {
            offset = static_cast<std::size_t>(reply[0] & 0x0F) * 4;
            if (static_cast<std::size_t>(n) < offset)
                continue;
        }
        const std::uint8_t* icmp = reply + offset;
        const std::size_t size = static_cast<std::size_t>(n) - offset;
        if (size < kIcmpHeaderBytes + ICMP_ECHO_DATA_BYTES || icmp[0] != ICMP_ECHOREPLY)
            continue;
        const auto got_id = static_cast<std::uint16_t>(icmp[4] << 8 | icmp[5]);
        const auto got_sequence = static_cast<std::uint16_t>(icmp[6] << 8 | icmp[7]);
        if (got_sequence != sequence || (raw && got_id != id))
            continue;
        return ICMP_ANSWERED;
    }
}

int EchoWithPingCommand(const std::string& address, const Clock& clock, bool& ran)
{
    // ping's -W takes whole seconds.
    const double seconds = std::ceil(ICMP_ECHO_TIMEOUT_MS / 1000.0 / clock.Scale());
    const std::string wait = std::to_string(seconds < 1.0 ? 1 : static_cast<int>(seconds));
    std::vector<std::string> args = {"ping", "-c", "1", "-W", wait, "-q", address};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, "ping", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ran = false;
    if (spawned != 0)
        return ICMP_NO_METHOD;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 127)
        return ICMP_NO_METHOD;
    ran = true;
    // 0 answered, 1 no answer, anything else: ping could not try.
    if (WEXITSTATUS(status) == 0)
        return ICMP_ANSWERED;
    return WEXITSTATUS(status) == 1 ? ICMP_NO_ANSWER : ICMP_NO_METHOD;
}

}  // namespace

int IcmpPing(const std::string& host, const Clock& clock, IcmpMethod* method)
{
    if (method != nullptr)
        *method = IcmpMethod::None;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return ICMP_RESOLVE_FAILED;
    sockaddr_in target{};
    std::memcpy(&target, found->ai_addr, sizeof target);
    ::freeaddrinfo(found);
    char address[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &target.sin_addr, address, sizeof address);

    const int datagram = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (datagram >= 0) {
        FdCloser closer(datagram);
        if (method != nullptr)
            *method = IcmpMethod::DatagramSocket;
        return EchoOnSocket(datagram, false, target, clock);
    }
    const int raw = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (raw >= 0) {
        FdCloser closer(raw);
        if (method != nullptr)
            *method = IcmpMethod::RawSocket;
        return EchoOnSocket(raw, true, target, clock);
    }
    bool ran = false;
    const int result = EchoWithPingCommand(address, clock, ran);
    if (ran && method != nullptr)
        *method = IcmpMethod::PingCommand;
    return result;
}

}  // namespace verup
