#include "ConsoleHost.h"

#include <algorithm>
#include <cstdio>

#include "platform/Cp932.h"
#include "platform/SerialPortNames.h"
#include "ui/CComPortDlg.h"
#include "ui/CIpAddressDlg.h"
#include "ui/CPortSelectDlg.h"
#include "ui/ComSelection.h"
#include "ui/ConnectionTexts.h"

namespace verup::cli {
namespace {

constexpr int kBarWidth = 30;

// The status line's animation dots: an ideographic space and one to five full stops (CP932).
constexpr std::string_view kDot = "\x81\x44";
constexpr std::string_view kIdeographicSpace = "\x81\x40";

std::string WithoutDots(std::string status)
{
    bool dotted = false;
    while (status.size() >= kDot.size() && status.compare(status.size() - kDot.size(), kDot.size(), kDot) == 0) {
        status.resize(status.size() - kDot.size());
        dotted = true;
    }
    if (dotted && status.size() >= kIdeographicSpace.size() &&
        status.compare(status.size() - kIdeographicSpace.size(), kIdeographicSpace.size(), kIdeographicSpace) == 0)
        status.resize(status.size() - kIdeographicSpace.size());
    return status;
}

// Message boxes end their lines in CR LF; a console wants LF and an indent.
std::string ForConsole(const std::string& cp932)
{
    std::string text = Cp932ToUtf8(cp932);
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r')
            continue;
        out += text[i];
        if (text[i] == '\n')
            out += "  ";
    }
    return out;
}

// A title made of NAME1, an ideographic space and NAME2 says nothing when both are empty.
bool HasText(std::string_view cp932)
{
    for (std::size_t i = 0; i < cp932.size(); ++i) {
        if (cp932.substr(i, kIdeographicSpace.size()) == kIdeographicSpace) {
            ++i;
            continue;
        }
        if (cp932[i] != ' ')
            return true;
    }
    return false;
}

struct Gloss {
    const char* japanese;  // UTF-8
    const char* english;
};

// The window's status texts, explained for readers of the console.
constexpr Gloss kStatusGlosses[] = {
    {"バージョンアップ完了 (設定の復元に失敗)", "update done, but the device's settings were NOT restored"},
    {"バージョンアップ準備完了", "ready"},
    {"バージョンアップ作業中", "writing the firmware"},
    {"バージョンアップ完了", "update done"},
    {"バージョンアップ異常", "update FAILED"},
    {"初期化中", "preparing"},
    {"設定情報の退避中", "saving the device's settings"},
    {"設定情報の復元中", "restoring the device's settings"},
};

// What to do next after a message box of the start-up or the teardown.
constexpr Gloss kMessageHints[] = {
    {"バージョンアップに必要なファイルが見つかりません",
     "Run verup in the package folder (verup.dat with rt00.mot, fpga01.mot and fpga02.mot, or from00.mot), "
     "or name it with -C DIR; `verup images` says what is missing."},
    {"ポートがオープンできません",
     "Check the port: COMn stands for " VERUP_COM_NAME_TARGET "; " VERUP_PORT_ACCESS_NEED
     ". --com auto scans COM1 ... COM9; `verup ports` lists the serial ports and --port PATH takes any of them."},
    {"別のバージョンアップ・プログラムが使用中です",
     "Another verup run is updating this device; wait for it to finish (a run on another device is no obstacle)."},
    {"が接続されていません",
     "Check the cable and that the device is switched on; switch it off and on, then try again "
     "(--com auto scans every port)."},
    {"既に使用されています", "Another program is using the device's shell; close it and try again."},
    {"接続に失敗しました",
     "Check the address (--lan ADDR), that the device answers ping, and RETRY in verup.dat (0 makes no attempt). "
     "A device stopped in its boot monitor has no telnet server: connect the serial cable and use --com N."},
    {"機種名 (KIKI1)", "verup.dat names no product in KIKI1 ([VERUP]); `verup config` shows what the start-up refuses."},
    {"書き込み後のバージョンを確認できません",
     "NUM in verup.dat must be the new version text (e.g. \"Version 1.20\") and NUM_LEN its length (e.g. 12); "
     "`verup config` says what is wrong."},
    {"バージョンの問い合わせに応答しません",
     "The device answered the probe but not its version query; switch it off and on, then try again."},
    {"設定情報だけの退避・復元はできません",
     "Firmware older than 1.1 keeps its settings only through a firmware update: set UPLOAD=1 in verup.dat."},
    {"ＬＡＮ経由", "Connect the serial cable and use --com N."},
    {"現在のファームウェアではバージョンアップができません",
     "This device's firmware is older than FRM_VER in verup.dat allows; it cannot be updated with this package."},
    {"設定情報を初期化します", "The update goes on; the device's settings will be reset to their defaults."},
    {"復元できなかった設定情報", "Keep that file: it holds the device's settings as they were before the update."},
    {"ロックを取得できません",
     "The lock sits beside the settings backups ($XDG_STATE_HOME/verup, else ~/.local/state/verup): that folder "
     "must be yours and writable by you alone, and 7300QB_UPDATE_MUTEX in it a regular file, not a link."},
};

std::string StatusWithGloss(const std::string& status_utf8)
{
    for (const Gloss& g : kStatusGlosses)
        if (status_utf8 == g.japanese)
            return status_utf8 + " (" + g.english + ")";
    return status_utf8;
}

}  // namespace

ConsoleHost::ConsoleHost(std::ostream& out, std::ostream& err, bool terminal, LinkChoice choice)
    : out_(out), err_(err), terminal_(terminal), choice_(std::move(choice))
{
}

void ConsoleHost::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon, MessageOwner)
{
    std::lock_guard lock(mutex_);
    if (bar_open_) {
        out_ << "\n" << std::flush;
        bar_open_ = false;
    }
    ++messages_;
    const std::string body = ForConsole(text);
    const char* kind = icon == MessageIcon::Stop ? "error" : icon == MessageIcon::Exclamation ? "warning" : "note";
    err_ << "verup: " << kind << ": ";
    if (HasText(caption))
        err_ << "[" << Cp932ToUtf8(caption) << "] ";
    err_ << body << "\n";
    for (const Gloss& hint : kMessageHints)
        if (body.find(hint.japanese) != std::string::npos) {
            err_ << "  " << hint.english << "\n";
            break;
        }
    err_ << std::flush;
}

std::optional<ConnectionResult> ConsoleHost::RunConnectionDialog(const ConnectionRequest& request)
{
    std::optional<ConnectionResult> result = ChooseConnection(request);
    std::lock_guard lock(mutex_);
    if (!result) {
        if (connection_problem_)
            err_ << "verup: error: " << *connection_problem_ << "\n" << std::flush;
        return result;
    }
    const bool scan = result->LinkKind == 0 && (result->ComPortNumber == COM_AUTOMATIC || request.AUTO == 1);
    if (result->LinkKind != 0) {
        link_description_ = "LAN, device at " + Cp932ToUtf8(result->DeviceAddress);
    } else if (!result->PortPath.empty()) {
        link_description_ = "serial " + result->PortPath;
        if (PortIdentity(result->PortPath) != result->PortPath)
            link_description_ += " (" + PortIdentity(result->PortPath) + ")";
    } else if (scan) {
        link_description_ = "serial, scanning COM1 ... COM9 and the USB serial adapters";
        if (request.AUTO == 1 && choice_.ComPort && *choice_.ComPort != COM_AUTOMATIC)
            link_description_ += " (AUTO=1 in verup.dat scans every port)";
    } else {
        const std::string name = "COM" + std::to_string(result->ComPortNumber);
        link_description_ = "serial " + name + " (" + ResolvePortName(name) + ")";
    }
    return result;
}

std::optional<ConnectionResult> ConsoleHost::ChooseConnection(const ConnectionRequest& request)
{
    // The dialogs' own rules run: they propose what verup.dat remembers, take the command
    // line's choice as the user's, and write the choice back as "接続" does.
    ConnectionResult result;
    // A path is no COM number: verup.dat cannot remember it, so no dialog writes it back.
    if (choice_.PortPath) {
        if (request.SEL == 0) {
            std::lock_guard lock(mutex_);
            connection_problem_ = "this package (SEL=0 in verup.dat) updates over the LAN only: use --lan ADDR";
            connection_usage_error_ = true;
            return std::nullopt;
        }
        result.LinkKind = 0;
        result.PortPath = *choice_.PortPath;
        return result;
    }
    if (request.SEL == 0) {
        if (choice_.ComPort) {
            std::lock_guard lock(mutex_);
            connection_problem_ = "this package (SEL=0 in verup.dat) updates over the LAN only: use --lan ADDR";
            connection_usage_error_ = true;
            return std::nullopt;
        }
        CIpAddressDlg dialog(request.ConfigFilePath);
        dialog.SetHeaderText(request.TitleText);
        dialog.OnInitDialog();
        if (choice_.Address)
            dialog.AddressText = Utf8ToCp932(*choice_.Address);
        dialog.OnOK();
        result.LinkKind = 1;
        result.DeviceAddress = dialog.ResultAddress;
        return result;
    }
    if (request.SEL == 1) {
        if (choice_.Address) {
            std::lock_guard lock(mutex_);
            connection_problem_ = "this package (SEL=1 in verup.dat) updates over a serial cable only: use --com N";
            connection_usage_error_ = true;
            return std::nullopt;
        }
        CComPortDlg dialog(request.ConfigFilePath);
        dialog.AUTO = request.AUTO;
        dialog.SetHeaderText(request.TitleText);
        dialog.OnInitDialog();
        if (choice_.ComPort && dialog.ComboEnabled)
            dialog.ComSelection = ComIndexOf(*choice_.ComPort);
        dialog.OnOK();
        result.LinkKind = 0;
        result.ComPortNumber = dialog.ComChoice;
        return result;
    }
    CPortSelectDlg dialog(request.ConfigFilePath);
    dialog.AUTO = request.AUTO;
    dialog.SetHeaderText(request.TitleText);
    dialog.OnInitDialog();
    if (choice_.ComPort) {
        dialog.OnSerialRadio();
        if (dialog.ComboEnabled)
            dialog.ComSelection = ComIndexOf(*choice_.ComPort);
    } else if (choice_.Address) {
        dialog.OnLanRadio();
        dialog.AddressText = Utf8ToCp932(*choice_.Address);
    }
    const ConnectOutcome outcome = dialog.OnOK();
    if (!outcome.Closed) {
        std::lock_guard lock(mutex_);
        connection_problem_ = ForConsole(outcome.MessageText) + " (address \"" + Cp932ToUtf8(dialog.AddressText) +
                              "\"): give a valid --lan ADDR, or correct FIELD in the [IPADDR] section of verup.dat";
        return std::nullopt;
    }
    result.LinkKind = dialog.LinkResult != 0 ? 1 : 0;
    result.ComPortNumber = dialog.ComChoice;
    result.DeviceAddress = dialog.ResultAddress;
    return result;
}

void ConsoleHost::ShowWaitBox()
{
    std::string link;
    {
        std::lock_guard lock(mutex_);
        link = link_description_;
    }
    Say("Connecting: " + link + " ...");
}

void ConsoleHost::DestroyWaitBox() {}

void ConsoleHost::SetProgressRange(int lower, int upper)
{
    std::lock_guard lock(mutex_);
    lower_ = lower;
    upper_ = upper;
}

void ConsoleHost::SetProgressPos(int position)
{
    std::lock_guard lock(mutex_);
    position_ = position;
    DrawProgress(false);
}

void ConsoleHost::RefreshFields(const BoundTexts& texts)
{
    std::lock_guard lock(mutex_);
    const std::string stage = Cp932ToUtf8(WithoutDots(texts.StatusText));
    if (stage.empty() || stage == stage_)
        return;
    stage_ = stage;
    history_.push_back({stage, SecondsSinceStart()});
    if (terminal_) {
        DrawProgress(true);
    } else {
        Line("status: " + StatusWithGloss(stage));
    }
}

void ConsoleHost::PostStart() {}
void ConsoleHost::PostClose() {}

void ConsoleHost::DrawProgress(bool force)
{
    const int span = std::max(1, upper_ - lower_);
    const int percent = std::clamp((position_ - lower_) * 100 / span, 0, 100);
    if (terminal_) {
        if (!force && percent == last_percent_)
            return;
        last_percent_ = percent;
        const int filled = percent * kBarWidth / 100;
        char figure[16];
        std::snprintf(figure, sizeof figure, "%3d%%", percent);
        out_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
             << std::string(static_cast<std::size_t>(kBarWidth - filled), '.') << "] " << figure << "  "
             << StatusWithGloss(stage_) << "\x1b[K" << std::flush;
        bar_open_ = true;
        return;
    }
    const int decile = percent / 10;
    if (decile <= printed_decile_)
        return;
    printed_decile_ = decile;
    Line("progress: " + std::to_string(percent) + "% (step " + std::to_string(position_) + " of " +
         std::to_string(upper_) + ")");
}

void ConsoleHost::Line(const std::string& text)
{
    if (bar_open_) {
        out_ << "\n";
        bar_open_ = false;
    }
    out_ << text << "\n" << std::flush;
}

void ConsoleHost::FinishProgress()
{
    std::lock_guard lock(mutex_);
    if (bar_open_) {
        out_ << "\n" << std::flush;
        bar_open_ = false;
    }
}

void ConsoleHost::Say(const std::string& text)
{
    std::lock_guard lock(mutex_);
    Line(text);
}

int ConsoleHost::MessageCount() const
{
    std::lock_guard lock(mutex_);
    return messages_;
}

std::optional<std::string> ConsoleHost::ConnectionProblem() const
{
    std::lock_guard lock(mutex_);
    return connection_problem_;
}

bool ConsoleHost::ConnectionUsageError() const
{
    std::lock_guard lock(mutex_);
    return connection_usage_error_;
}

std::string ConsoleHost::LinkDescription() const
{
    std::lock_guard lock(mutex_);
    return link_description_;
}

std::vector<ShownStatus> ConsoleHost::StatusHistory() const
{
    std::lock_guard lock(mutex_);
    return history_;
}

double ConsoleHost::SecondsSinceStart() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
}

}  // namespace verup::cli
