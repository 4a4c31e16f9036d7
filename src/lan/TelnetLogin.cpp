// The telnet link's notifications and the login they start.
#include <algorithm>
#include <cstdio>

#include "app/CUpdateDlg.h"
#include "lan/LanTexts.h"
#include "lan/TelnetLink.h"
#include "lan/TelnetWords.h"
#include "protocol/NamesProduct.h"
#include "protocol/ReplyKind.h"
#include "protocol/ReplyText.h"

namespace verup {
namespace {

std::string PasswordLine()
{
    char line[64];
    std::snprintf(line, sizeof line, telnet::kPasswordLineFormat, telnet::kTelnetPassword);
    return line;
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

TelnetLink& CUpdateDlg::LanLink()
{
    if (!Telnet)
        Telnet = std::make_unique<TelnetLink>(clock, env.TelnetPort);
    Telnet->SetNotify([this](int result) { OnSocketNotify(result); });
    Channel.SetLanLink(Telnet.get());
    return *Telnet;
}

void CUpdateDlg::OnSocketNotify(int result)
{
    switch (result) {
    case TELNET_CONNECTED:
        Report(-1, lantext::kConnectOk);
        break;
    case TELNET_NEGOTIATED:
        Report(-1, lantext::kIacData);
        break;
    case TELNET_PASSWORD_PROMPT: {
        // The login: local password, product check and versions from the greeting, then the
        // administrator.
        TelnetLink& link = *Telnet;
        const std::string password = PasswordLine();
        if (Channel.LanCommand(password, telnet::kLoginTimeoutMs, TRK_COMMAND_PROMPT) <= 0) {
            Report(-1, lantext::kLocalPasswordError);
            link.SetLoginState(LOGIN_REFUSED);
            return;
        }
        const std::string greeting = GreetingText(Channel.ReplyBuffer);
        if (!NamesProduct(greeting, cfg)) {
            Report(-1, lantext::kProductCheckError);
            link.SetLoginState(LOGIN_WRONG_PRODUCT);
            return;
        }
        Device.ProductWord = NamedProduct(greeting, cfg);
        // The firmware version is cut after NUM_LEN characters, within the greeting.
        const std::size_t num_len = cfg.NUM_LEN > 0 ? static_cast<std::size_t>(cfg.NUM_LEN) : 0;
        std::string text;
        if (TextAfter(greeting, telnet::kFirmwareWord, num_len, text))
            Device.FirmwareVersionText = text;
        if (TextAfter(greeting, telnet::kTelnetServerWord, telnet::kTelnetServerTextLength, text))
            Device.TelnetServerText = text;
        link.ResetReceiveLength();
        Report(-1, lantext::kLocalPasswordOk);
        if (Channel.LanCommand(telnet::kAdministratorLine, telnet::kLoginTimeoutMs, TRK_PASSWORD) <= 0) {
            Report(-1, lantext::kAdminInputError);
            link.SetLoginState(LOGIN_REFUSED);
            return;
        }
        if (Channel.LanCommand(password, telnet::kLoginTimeoutMs, TRK_ADMIN_PROMPT) <= 0) {
            Report(-1, lantext::kAdminCheckError);
            link.SetLoginState(LOGIN_REFUSED);
            return;
        }
        Report(-1, lantext::kAdminCheckOk);
        link.SetLoginState(LOGIN_DONE);
        break;
    }
    default:
        break;
    }
}

}  // namespace verup
