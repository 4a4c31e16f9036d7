// The telnet link's notifications and the login, run by the thread that connects.
#include <algorithm>

#include "lan/LanRoad.h"
#include "lan/LanTexts.h"
#include "lan/TelnetLink.h"
#include "lan/TelnetWords.h"
#include "protocol/NamesProduct.h"
#include "protocol/ReplyKind.h"
#include "protocol/ReplyText.h"
#include "protocol/TextFormat.h"

namespace verup {
namespace {

std::string PasswordLine()
{
    return FormatText(telnet::kPasswordLineFormat, telnet::kTelnetPassword);
}

// The greeting's first bytes up to the reply's end, as the login examines them.
std::string GreetingText(const std::string& reply)
{
    const std::size_t end = std::min(reply.find('\0'), telnet::kGreetingBytes);
    return reply.substr(0, std::min(end, reply.size()));
}

// The text after `word` in `greeting`, at most `length` characters (never past the greeting).
// Example greeting: "\r\nNEXAVO7300QB Farmware Version 1.20 0005\r\nTelnet Server Version 1.02\r\n>"
bool TextAfter(const std::string& greeting, std::string_view word, std::size_t length, std::string& out)
{
    const int position = FindText(greeting, word);
    if (position == 0)
        return false;
    const std::size_t start = static_cast<std::size_t>(position - 1) + word.size();
    out = greeting.substr(std::min(start, greeting.size()), length);
    return true;
}

}  // namespace

LanRoad::LanRoad(RoadContext context, std::uint16_t port)
    : ctx_(std::move(context)), link_(ctx_.clock, port), channel_(ctx_.clock, link_, CommandChannel::Numbering::Telnet)
{
    channel_.AttemptCount = ctx_.cfg.RETRY;
    link_.SetNotify([this](int result) { OnSocketNotify(result); });
}

LanRoad::~LanRoad()
{
    ctx_.timers.Kill(TIMER_WATCHDOG);
    // The reader and the login report into this road: stop them before its members go.
    link_.Close();
}

void LanRoad::OnSocketNotify(int result)
{
    if (result == TELNET_CONNECTED)
        ctx_.Log(lantext::kConnectOk);
    else if (result == TELNET_NEGOTIATED)
        ctx_.Log(lantext::kIacData);
}

int LanRoad::Login()
{
    // The local password, the product check and the versions from the greeting, then the
    // administrator.
    const std::string password = PasswordLine();
    if (channel_.LanCommand(password, telnet::kLoginTimeoutMs, TRK_COMMAND_PROMPT) <= 0) {
        ctx_.Log(lantext::kLocalPasswordError);
        return LOGIN_REFUSED;
    }
    const std::string greeting = GreetingText(channel_.ReplyBuffer);
    if (!NamesProduct(greeting, ctx_.cfg)) {
        ctx_.Log(lantext::kProductCheckError);
        return LOGIN_WRONG_PRODUCT;
    }
    ctx_.device.ProductWord = NamedProduct(greeting, ctx_.cfg);
    // The firmware version is cut after NUM_LEN characters, within the greeting.
    const std::size_t num_len = ctx_.cfg.NUM_LEN > 0 ? static_cast<std::size_t>(ctx_.cfg.NUM_LEN) : 0;
    std::string text;
    if (TextAfter(greeting, telnet::kFirmwareWord, num_len, text))
        ctx_.device.FirmwareVersionText = text;
    if (TextAfter(greeting, telnet::kTelnetServerWord, telnet::kTelnetServerTextLength, text))
        ctx_.device.TelnetServerText = text;
    link_.ResetReceiveLength();
    ctx_.Log(lantext::kLocalPasswordOk);
    if (channel_.LanCommand(telnet::kAdministratorLine, telnet::kLoginTimeoutMs, TRK_PASSWORD) <= 0) {
        ctx_.Log(lantext::kAdminInputError);
        return LOGIN_REFUSED;
    }
    if (channel_.LanCommand(password, telnet::kLoginTimeoutMs, TRK_ADMIN_PROMPT) <= 0) {
        ctx_.Log(lantext::kAdminCheckError);
        return LOGIN_REFUSED;
    }
    ctx_.Log(lantext::kAdminCheckOk);
    return LOGIN_DONE;
}

}  // namespace verup
