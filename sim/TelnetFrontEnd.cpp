#include "TelnetFrontEnd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FirmwareShell.h"
#include "lan/Fcs16.h"

namespace devsim {
namespace {

constexpr uint8_t IAC = 255, WILL = 251, WONT = 252, DO = 253, DONT = 254, SB = 250, SE = 240;
constexpr uint8_t OPT_ECHO = 1, OPT_SGA = 3, OPT_STATUS = 5, OPT_TTYPE = 24, OPT_NAWS = 31, OPT_LFLOW = 33,
                  OPT_LINEMODE = 34;

// Telnet protocol words.
constexpr std::string_view kUserPrompt = "\r\n>";
constexpr std::string_view kAdminPrompt = "\r\n#";
constexpr std::string_view kPasswordPrompt = "Password: ";
constexpr std::string_view kAdminPasswordPrompt = "\r\nPassword:";
constexpr std::string_view kDlPrompt = "\r\nDL.";
constexpr std::string_view kDlOk = "\r\nDL.OK";
constexpr std::string_view kDlError = "\r\nDL.ERROR";
// Between the echo of "upload N\r" and the data: six bytes, so the data starts at the
// command's length plus 6 of what the tool receives.
constexpr std::string_view kUploadPreamble = "\r\nUL\r\n";
constexpr std::string_view kUploadEnd = "\r\nUL.OK";
constexpr std::size_t kUploadSegmentBytes = 16384;  // --upload-segment-ms

// Device ms the server waits for each answer of the negotiation before it goes on.
constexpr int64_t kNegotiationWaitMs = 2000;
// Device ms a download block may take to arrive.
constexpr int64_t kBlockTimeoutMs = 30000;
constexpr int kPollRealMs = 10;

// One connection: a byte reader with telnet command handling on top of a raw one.
class Session {
public:
    Session(SimDevice& device, int fd, const std::atomic<bool>& stop)
        : device_(device), fd_(fd), stop_(stop), boot_(device.BootCount())
    {
    }

    void Run();

private:
    enum class Login { LocalPassword, User, AdminPassword, Admin };

    bool Alive()
    {
        device_.Tick();
        return !stop_ && !closed_ && device_.BootCount() == boot_ && device_.Mode() == RunMode::Firmware;
    }
    // Next raw byte, or -1 when `deadline` passed (or the connection ended).
    int RawByte(std::chrono::steady_clock::time_point deadline);
    // Next data byte with telnet commands taken out; -1 as above.
    int DataByte(std::chrono::steady_clock::time_point deadline);
    // Echo is sent together with what follows it, or before the next wait for input.
    void Send(std::string_view bytes);
    void SendRaw(std::string_view bytes);
    void SendNegotiation(uint8_t verb, uint8_t option);
    void Reply(std::string_view bytes);
    void Negotiate();
    // Reads a command line (to CR). Echoes it unless `secret`. False when the session ends.
    bool ReadLine(std::string& line, bool secret);
    void Command(const std::string& line);
    void Download(int area);
    void Upload(int area);
    std::string Prompt() const { return std::string(login_ == Login::Admin ? kAdminPrompt : kUserPrompt); }

    SimDevice& device_;
    int fd_;
    const std::atomic<bool>& stop_;
    uint64_t boot_;
    bool closed_ = false;
    std::vector<uint8_t> in_;
    std::size_t in_pos_ = 0;
    bool skip_lf_ = false;
    bool late_blank_ = false;
    std::string echo_;
    int client_will_echo_ = 0;
    int client_do_sga_ = 0;
    Login login_ = Login::LocalPassword;
    bool crc_ = false;
    std::vector<uint8_t> download_;
    int download_area_ = -1;
};

std::chrono::steady_clock::time_point Never() { return std::chrono::steady_clock::time_point::max(); }

int Session::RawByte(std::chrono::steady_clock::time_point deadline)
{
    if (in_pos_ >= in_.size() && !echo_.empty())
        Send({});
    while (in_pos_ >= in_.size()) {
        if (!Alive() || std::chrono::steady_clock::now() >= deadline)
            return -1;
        pollfd pfd{fd_, POLLIN, 0};
        if (::poll(&pfd, 1, kPollRealMs) <= 0)
            continue;
        uint8_t buffer[4096];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) {
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            closed_ = true;
            return -1;
        }
        in_.assign(buffer, buffer + n);
        in_pos_ = 0;
        if (late_blank_) {
            // The prompt's blank, held back until the tool has sent its next command.
            late_blank_ = false;
            SendRaw(" ");
        }
    }
    return in_[in_pos_++];
}

int Session::DataByte(std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        const int b = RawByte(deadline);
        if (b != IAC)
            return b;
        const int verb = RawByte(deadline);
        if (verb < 0)
            return -1;
        if (verb == IAC)
            return IAC;
        if (verb == SB) {
            // Subnegotiation: skipped up to IAC SE.
            int prev = -1;
            for (int c; (c = RawByte(deadline)) >= 0; prev = c)
                if (prev == IAC && c == SE)
                    break;
            continue;
        }
        if (verb < WILL)
            continue;  // two-byte command
        const int option = RawByte(deadline);
        if (option < 0)
            return -1;
        char text[32];
        std::snprintf(text, sizeof text, "IAC %02X %02X", verb, option);
        device_.Log("telnet", text);
        if (verb == WILL && option == OPT_ECHO)
            ++client_will_echo_;
        if (verb == DO && option == OPT_SGA)
            ++client_do_sga_;
    }
}

void Session::Send(std::string_view bytes)
{
    if (!echo_.empty()) {
        std::string echo;
        echo.swap(echo_);
        SendRaw(echo);
    }
    SendRaw(bytes);
}

void Session::SendRaw(std::string_view bytes)
{
    std::size_t done = 0;
    while (done < bytes.size() && !closed_ && !stop_) {
        const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd pfd{fd_, POLLOUT, 0};
            ::poll(&pfd, 1, kPollRealMs);
        } else {
            closed_ = true;
        }
    }
}

void Session::SendNegotiation(uint8_t verb, uint8_t option)
{
    const char bytes[3] = {static_cast<char>(IAC), static_cast<char>(verb), static_cast<char>(option)};
    Send(std::string_view(bytes, 3));
}

void Session::Reply(std::string_view bytes)
{
    Send({});
    device_.Clock().SleepMs(device_.Options().Faults.ReplyDelayMs);
    Send(bytes);
    if (device_.Options().Faults.LatePromptBlank && (bytes.ends_with(kUserPrompt) || bytes.ends_with(kAdminPrompt)))
        late_blank_ = true;
}

// The server opens the negotiation; the second WILL SUPPRESS-GO-AHEAD follows once the
// client has answered DO ECHO, as the device's server does.
void Session::Negotiate()
{
    SendNegotiation(WILL, OPT_SGA);
    SendNegotiation(WILL, OPT_ECHO);
    SendNegotiation(DO, OPT_NAWS);
    SendNegotiation(WILL, OPT_STATUS);
    SendNegotiation(DO, OPT_LFLOW);
    SendNegotiation(WONT, OPT_LINEMODE);
    SendNegotiation(DO, OPT_TTYPE);
    SendNegotiation(DO, OPT_ECHO);
    auto wait_for = [&](const int& counter, int target) {
        const auto deadline = device_.Clock().DeadlineIn(kNegotiationWaitMs);
        while (counter < target && Alive() && std::chrono::steady_clock::now() < deadline) {
            // Only telnet commands are expected now; stray data bytes are dropped.
            const int b = DataByte(std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(kPollRealMs)));
            (void)b;
        }
    };
    wait_for(client_will_echo_, 1);
    SendNegotiation(WILL, OPT_SGA);
    wait_for(client_do_sga_, 2);
}

bool Session::ReadLine(std::string& line, bool secret)
{
    line.clear();
    for (;;) {
        const int b = DataByte(Never());
        if (b < 0)
            return false;
        if (skip_lf_) {
            skip_lf_ = false;
            if (b == '\n' || b == 0)
                continue;
        }
        const char c = static_cast<char>(b);
        if (!secret)
            echo_ += c;
        if (b == '\r') {
            skip_lf_ = true;
            return true;
        }
        line += c;
    }
}

void Session::Run()
{
    Negotiate();
    if (!Alive())
        return;
    Send("\r\n" + device_.ProductWord() + "\r\n\r\n" + std::string(kPasswordPrompt));
    std::string line;
    while (Alive()) {
        const bool secret = login_ == Login::LocalPassword || login_ == Login::AdminPassword;
        if (!ReadLine(line, secret))
            return;
        switch (login_) {
        case Login::LocalPassword:
            device_.Log("telnet", "<password>");
            if (line == kTelnetPassword && !device_.Options().Faults.RefuseLogin) {
                // Example of what the tool reads in the first 250 bytes:
                //   NEXAVO7300QB Network Terminal\r\nFarmware Version 1.10 3\r\nTelnet Server Version 2.00\r\n
                login_ = Login::User;
                Reply("\r\n\r\n" + device_.ProductWord() + " Network Terminal\r\nFarmware " + device_.VersionText() +
                      "\r\nTelnet Server " + device_.TelnetServerVersion() + "\r\n" + std::string(kUserPrompt));
            } else {
                Reply("\r\nLogin incorrect\r\n\r\n" + std::string(kPasswordPrompt));
            }
            break;
        case Login::AdminPassword:
            device_.Log("telnet", "<password>");
            if (line == kTelnetPassword) {
                login_ = Login::Admin;
                Reply(kAdminPrompt);
            } else {
                login_ = Login::User;
                Reply("\r\nLogin incorrect" + std::string(kUserPrompt));
            }
            break;
        case Login::User:
        case Login::Admin:
            Command(line);
            break;
        }
    }
}

void Session::Command(const std::string& line)
{
    Send({});  // the echo goes out before the command runs
    if (line.empty()) {
        Reply(Prompt());
        return;
    }
    const FaultAction fault = device_.OnCommand("telnet", line);
    if (fault == FaultAction::NoReply)
        return;
    if (fault != FaultAction::None) {
        Reply(FaultText(fault) + Prompt());
        return;
    }
    const std::string lower = Lower(line);
    if (login_ == Login::User) {
        if (lower == "administrator") {
            login_ = Login::AdminPassword;
            Reply(kAdminPasswordPrompt);
        } else if (lower == "show version") {
            Reply(FirmwareShell(device_, Road::Telnet).ShowVersion() + Prompt());
        } else if (lower == "exit" || lower == "quit") {
            closed_ = true;
        } else {
            Reply("\r\npermission denied" + Prompt());
        }
        return;
    }
    int area = -1;
    char extra = 0;
    if (lower == "mode crc" || lower == "mode normal") {
        crc_ = lower == "mode crc";
        Reply(Prompt());
    } else if (std::sscanf(lower.c_str(), "download %d%c", &area, &extra) == 1) {
        Download(area);
    } else if (std::sscanf(lower.c_str(), "upload %d%c", &area, &extra) == 1) {
        Upload(area);
    } else if (std::sscanf(lower.c_str(), "fromwr %d%c", &area, &extra) == 1) {
        bool ok = !download_.empty() && area >= 0 && area < SimDevice::kAreaCount;
        if (ok && area != download_area_)
            device_.Log("telnet", "fromwr " + std::to_string(area) + " writes the block downloaded for " + std::to_string(download_area_));
        device_.Clock().SleepMs(kFlashWriteMs);
        ok = ok && device_.ReplaceArea(area, download_);
        Reply(std::string(ok ? kWriteOkLine : "\r\nWrite NG") + Prompt());
    } else if (lower == "exit" || lower == "quit" || lower == "logout") {
        closed_ = true;
    } else {
        FirmwareShell shell(device_, Road::Telnet);
        const ShellReply r = shell.Execute(line);
        if (!r.Text.empty() || r.Prompt)
            Reply(r.Text + (r.Prompt ? Prompt() : std::string()));
        if (r.After == ShellReply::Then::Restart) {
            // The connection drops with the restart; the listener stays shut until the
            // device is back.
            device_.Restart(false);
            closed_ = true;
        }
    }
}

void Session::Download(int area)
{
    if (area < 0 || area >= SimDevice::kAreaCount) {
        Reply("\r\nDL.NG" + Prompt());
        return;
    }
    Reply(kDlPrompt);
    const std::size_t data_bytes = device_.Profile().SectorBytes();
    const std::size_t total = data_bytes + (crc_ ? 2 : 0);
    const bool drop = device_.NextDownloadDrops();
    const auto deadline = device_.Clock().DeadlineIn(kBlockTimeoutMs);
    std::vector<uint8_t> block;
    block.reserve(total);
    // The block is raw: no telnet commands, no escaped 0xFF.
    while (block.size() < total) {
        if (drop && block.size() >= total / 2) {
            device_.Log("telnet", "fault: connection dropped in the middle of a block");
            closed_ = true;
            return;
        }
        const int b = RawByte(deadline);
        if (b < 0)
            break;
        block.push_back(static_cast<uint8_t>(b));
    }
    if (closed_ || !Alive())
        return;
    bool ok = block.size() == total;
    if (ok && crc_)
        ok = verup::Fcs16Check(block.data(), block.size()) == 1;
    if (device_.NextDownloadFails()) {
        device_.Log("telnet", "fault: DL.ERROR");
        ok = false;
    }
    device_.Log("telnet", "download " + std::to_string(area) + (ok ? " ok" : " failed") + ", " +
                              std::to_string(block.size()) + " bytes");
    if (ok) {
        block.resize(data_bytes);
        download_ = std::move(block);
        download_area_ = area;
    }
    Reply(std::string(ok ? kDlOk : kDlError) + Prompt());
}

void Session::Upload(int area)
{
    if (area < 0 || area >= SimDevice::kAreaCount) {
        Reply("\r\nUL.NG" + Prompt());
        return;
    }
    std::vector<uint8_t> data = device_.Area(area);
    if (crc_) {
        verup::Fcs16Append(data);
        if (device_.NextUploadBadFcs()) {
            device_.Log("telnet", "fault: corrupted upload FCS");
            data[data.size() - 1] ^= 0x5A;
        }
    }
    std::string out(kUploadPreamble);
    out.append(reinterpret_cast<const char*>(data.data()), data.size());
    out += kUploadEnd;
    out += Prompt();
    const int64_t pause_ms = device_.Options().Faults.UploadSegmentMs;
    if (pause_ms <= 0) {
        Reply(out);
        return;
    }
    const std::string_view rest(out);
    Reply(rest.substr(0, std::min(kUploadSegmentBytes, rest.size())));
    for (std::size_t at = kUploadSegmentBytes; at < rest.size() && !closed_; at += kUploadSegmentBytes) {
        device_.Clock().SleepMs(pause_ms);
        SendRaw(rest.substr(at, kUploadSegmentBytes));
    }
}

}  // namespace

TelnetFrontEnd::TelnetFrontEnd(SimDevice& device, TelnetOptions options) : device_(device), options_(std::move(options)) {}

TelnetFrontEnd::~TelnetFrontEnd() { Stop(); }

bool TelnetFrontEnd::Start(std::string* error)
{
    port_ = options_.Port;
    if (!OpenListener(error))
        return false;
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void TelnetFrontEnd::Stop()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    CloseListener();
}

bool TelnetFrontEnd::OpenListener(std::string* error)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (error)
            *error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port_));
    if (::inet_pton(AF_INET, options_.BindAddress.c_str(), &addr.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0) {
        if (error)
            *error = "cannot listen on " + options_.BindAddress + ":" + std::to_string(port_) + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    listen_fd_ = fd;
    return true;
}

void TelnetFrontEnd::CloseListener()
{
    if (listen_fd_ >= 0) {
        ::close(listen_fd_);
        listen_fd_ = -1;
    }
}

void TelnetFrontEnd::Run()
{
    while (!stop_) {
        device_.Tick();
        const bool up = device_.Mode() == RunMode::Firmware;
        if (up && listen_fd_ < 0 && !OpenListener(nullptr)) {
            ::usleep(kPollRealMs * 1000);
            continue;
        }
        if (!up && listen_fd_ >= 0)
            CloseListener();  // connections are refused while the server is not running
        if (listen_fd_ < 0) {
            ::usleep(kPollRealMs * 1000);
            continue;
        }
        pollfd pfd{listen_fd_, POLLIN, 0};
        if (::poll(&pfd, 1, kPollRealMs) <= 0)
            continue;
        const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            continue;
        if (device_.TakeRefusal()) {
            ::close(fd);
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        device_.Log("telnet", "connection opened");
        Session(device_, fd, stop_).Run();
        // A restarting device stops listening before the connection drops, so nobody gets
        // through to a server that is going away.
        if (device_.Mode() != RunMode::Firmware)
            CloseListener();
        ::close(fd);
        device_.Log("telnet", "connection closed");
    }
}

}  // namespace devsim
